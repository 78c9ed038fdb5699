#pragma once
// The election as the terminals of one voting day hold it: offices, parties,
// candidates (each photo by its SHA-256), the voting order and the day's map, in a
// canonical text whose SHA-256 is the election fingerprint. Two terminals loaded
// with the same election give the same text; any change to a name, number,
// legend, photo, position or map row changes it. The text is described in
// docs/eleicao.md.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

class Database;

namespace Apuracao
{

struct Eleicao {
    struct Cargo {
        qint64 chave;
        QString nome;
        qint64 digitos;
    };
    struct Partido {
        qint64 chave;
        QString nome, legenda;
    };
    struct Candidato {
        qint64 chave;
        QString nome, numero;
        qint64 partido, cargo;
        QString fotoSha256; // empty: no photo
    };
    struct Ordem {
        qint64 posicao, cargo;
    };
    struct Mapa {
        qint64 candidato, cargo, partido;
    };
    QList<Cargo> cargos;
    QList<Partido> partidos;
    QList<Candidato> candidatos;
    QList<Ordem> ordem;   // by position
    QList<Mapa> mapa;     // the day's rows

    const Cargo *cargo(qint64 chave) const;
    const Partido *partido(qint64 chave) const;
    const Candidato *candidato(qint64 chave) const;
};

// Reads the election of a day (the day text as the program writes it) from an open database.
Eleicao leEleicao(Database &db, const QString &dia);

QByteArray textoEleicao(const Eleicao &e);
// The inverse of textoEleicao; throws std::runtime_error (Portuguese) on any text it would not write.
Eleicao leTextoEleicao(const QByteArray &texto);

// Escaping shared by the canonical texts: \ -> \\, TAB -> \t, LF -> \n, CR -> \r.
QString escapa(const QString &valor);
// The inverse; false on an escape it does not know.
bool desescapa(const QString &texto, QString &valor);

} // namespace Apuracao
