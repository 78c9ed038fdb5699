#pragma once
// A terminal's bulletin: the small signed text that carries one terminal's result
// of a day to the totals. Format (UTF-8, LF line ends, described in docs/eleicao.md):
//
//   VOTARIM BOLETIM 1
//   terminal: N
//   dia: AAAA-MM-DD
//   gerado: AAAA-MM-DDTHH:MM:SSZ
//   eleicao-sha256: <64 hex>
//   eleicao-linhas: L
//   <L lines: the election's canonical text>
//   resultado-sha256: <64 hex>
//   resultado-linhas: M
//   <M lines: the day's canonical result text>
//   assinatura-ed25519: <base64 of 64 bytes>
//
// The signature covers every byte before its line.

#include "apuracao/assinatura.h"
#include "apuracao/apuracao.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>

namespace Apuracao
{

constexpr qint64 kTamanhoMaximoBoletim = 4 * 1024 * 1024;

struct Boletim {
    qint64 terminal = 0;
    QDate dia;
    QDateTime gerado;
    QByteArray textoEleicao, textoResultado;
    QString digitalEleicao, digitalResultado;
    QByteArray assinado;   // every byte before the signature's line
    QByteArray assinatura; // 64 bytes
};

QByteArray escreveBoletim(qint64 terminal, const QDate &dia, const QDateTime &gerado,
                          const QByteArray &textoEleicao, const QByteArray &textoResultado, const ChaveAssinatura &privada);

// Strict reading: throws std::runtime_error (Portuguese, without the file's name) on
// anything escreveBoletim would not write. The result text is read with
// Apuracao::interpreta (canonical, balanced, of the bulletin's own day);
// the election text is checked only when asked (the totals check the first of a
// fingerprint and compare the others by it).
Boletim leBoletim(const QByteArray &bytes, bool confereEleicao = true, Resultado *resultado = nullptr);

} // namespace Apuracao
