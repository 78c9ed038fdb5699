#include "apuracao/boletim.h"
#include "apuracao/eleicao.h"

#include <QHash>
#include <QRegularExpression>

#include <stdexcept>

namespace Apuracao
{

namespace
{
const QByteArray kPrimeiraLinha = QByteArrayLiteral("VOTARIM BOLETIM 1");

[[noreturn]] void malformado(const QString &motivo)
{
    throw std::runtime_error(QStringLiteral("boletim malformado (%1)").arg(motivo).toStdString());
}

qsizetype contaLinhas(const QByteArray &texto)
{
    return texto.count('\n');
}

// Reads one line at the position, without its LF, and moves past it.
QByteArray proximaLinha(const QByteArray &bytes, qsizetype &pos)
{
    const qsizetype fim = bytes.indexOf('\n', pos);
    if (fim < 0) malformado(QStringLiteral("incompleto"));
    const QByteArray l = bytes.mid(pos, fim - pos);
    pos = fim + 1;
    return l;
}

QByteArray campo(const QByteArray &bytes, qsizetype &pos, const char *nome, const QRegularExpression &forma)
{
    const QByteArray l = proximaLinha(bytes, pos);
    const QByteArray prefixo = QByteArray(nome) + ": ";
    if (!l.startsWith(prefixo)) malformado(QStringLiteral("esperava a linha \"%1\"").arg(QLatin1String(nome)));
    const QByteArray valor = l.mid(prefixo.size());
    if (!forma.match(QString::fromLatin1(valor)).hasMatch())
        malformado(QStringLiteral("valor inválido em \"%1\"").arg(QLatin1String(nome)));
    return valor;
}

QByteArray bloco(const QByteArray &bytes, qsizetype &pos, qint64 linhas)
{
    const qsizetype inicio = pos;
    for (qint64 i = 0; i < linhas; ++i) {
        const qsizetype fim = bytes.indexOf('\n', pos);
        if (fim < 0) malformado(QStringLiteral("incompleto"));
        pos = fim + 1;
    }
    return bytes.mid(inicio, pos - inicio);
}
// The figures of one result must agree with each other, as the database's votes
// make them: each kind over the offices gives the day's votes of that kind, each
// office's candidates give its nominal votes, the parties give the legend votes. A
// text can be canonical and still not add up; such a result is never counted.
void confereSomas(const Resultado &r)
{
    qint64 porTipo[4] = {0, 0, 0, 0};
    QHash<QString, qint64> nominais;
    for (const Cargo &c : r.cargos) {
        porTipo[0] += c.normal;
        porTipo[1] += c.legenda;
        porTipo[2] += c.branco;
        porTipo[3] += c.nulo;
        nominais[c.idCargo ? QString::number(*c.idCargo) : QString()] += c.normal;
    }
    static const char *const tipos[4] = {"NORMAL", "LEGENDA", "BRANCO", "NULO"};
    for (const Total &t : r.totais)
        for (int i = 0; i < 4; ++i)
            if (t.voto == QLatin1String(tipos[i]) && t.votos != porTipo[i])
                malformado(QStringLiteral("os votos %1 dos cargos não somam o total do dia").arg(t.voto));
    for (const Colocacao &c : r.ranking)
        nominais[c.idCargo ? QString::number(*c.idCargo) : QString()] -= c.votos;
    for (auto it = nominais.cbegin(); it != nominais.cend(); ++it)
        if (it.value() != 0) malformado(QStringLiteral("os votos dos candidatos não somam os nominais do cargo"));
    qint64 legendas = 0;
    for (const Legenda &l : r.legendas)
        legendas += l.votos;
    if (legendas != porTipo[1]) malformado(QStringLiteral("os votos dos partidos não somam os de legenda"));
}
} // namespace

QByteArray escreveBoletim(qint64 terminal, const QDate &dia, const QDateTime &gerado,
                          const QByteArray &textoEleicao, const QByteArray &textoResultado, const ChaveAssinatura &privada)
{
    if (!textoEleicao.endsWith('\n') || !textoResultado.endsWith('\n'))
        throw std::runtime_error("Texto canônico sem o fim de linha final");
    QByteArray b = kPrimeiraLinha + '\n';
    b += "terminal: " + QByteArray::number(terminal) + '\n';
    b += "dia: " + dia.toString(Qt::ISODate).toLatin1() + '\n';
    b += "gerado: " + gerado.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ")).toLatin1() + '\n';
    b += "eleicao-sha256: " + sha256(textoEleicao).toLatin1() + '\n';
    b += "eleicao-linhas: " + QByteArray::number(contaLinhas(textoEleicao)) + '\n';
    b += textoEleicao;
    b += "resultado-sha256: " + sha256(textoResultado).toLatin1() + '\n';
    b += "resultado-linhas: " + QByteArray::number(contaLinhas(textoResultado)) + '\n';
    b += textoResultado;
    b += "assinatura-ed25519: " + assina(privada, b).toBase64() + '\n';
    return b;
}

Boletim leBoletim(const QByteArray &bytes, bool confereEleicao, Resultado *resultado)
{
    static const QRegularExpression numero(QStringLiteral("^[1-9][0-9]{0,5}$"));
    static const QRegularExpression linhas(QStringLiteral("^(0|[1-9][0-9]{0,7})$"));
    static const QRegularExpression dia(QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2}$"));
    static const QRegularExpression hora(QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z$"));
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{64}$"));
    static const QRegularExpression base64(QStringLiteral("^[A-Za-z0-9+/]{86}==$"));
    if (bytes.isEmpty()) malformado(QStringLiteral("vazio"));
    if (bytes.size() > kTamanhoMaximoBoletim) malformado(QStringLiteral("grande demais"));
    if (bytes.contains('\0')) malformado(QStringLiteral("contém bytes binários"));
    Boletim b;
    qsizetype pos = 0;
    if (proximaLinha(bytes, pos) != kPrimeiraLinha) malformado(QStringLiteral("não começa por \"VOTARIM BOLETIM 1\""));
    b.terminal = campo(bytes, pos, "terminal", numero).toLongLong();
    b.dia = QDate::fromString(QString::fromLatin1(campo(bytes, pos, "dia", dia)), Qt::ISODate);
    if (!b.dia.isValid()) malformado(QStringLiteral("dia inexistente"));
    b.gerado = QDateTime::fromString(QString::fromLatin1(campo(bytes, pos, "gerado", hora)), Qt::ISODate);
    if (!b.gerado.isValid()) malformado(QStringLiteral("hora inexistente"));
    b.digitalEleicao = QString::fromLatin1(campo(bytes, pos, "eleicao-sha256", hex));
    b.textoEleicao = bloco(bytes, pos, campo(bytes, pos, "eleicao-linhas", linhas).toLongLong());
    b.digitalResultado = QString::fromLatin1(campo(bytes, pos, "resultado-sha256", hex));
    b.textoResultado = bloco(bytes, pos, campo(bytes, pos, "resultado-linhas", linhas).toLongLong());
    b.assinado = bytes.left(pos);
    b.assinatura = QByteArray::fromBase64(campo(bytes, pos, "assinatura-ed25519", base64));
    if (pos != bytes.size()) malformado(QStringLiteral("bytes depois da assinatura"));
    if (b.assinatura.size() != 64) malformado(QStringLiteral("assinatura de tamanho errado"));
    if (sha256(b.textoEleicao) != b.digitalEleicao)
        malformado(QStringLiteral("a impressão digital da eleição não confere com o texto"));
    if (sha256(b.textoResultado) != b.digitalResultado)
        malformado(QStringLiteral("a impressão digital do resultado não confere com o texto"));
    if (confereEleicao) leTextoEleicao(b.textoEleicao);
    Resultado r;
    try {
        r = interpreta(b.textoResultado);
    } catch (const ErroApuracao &e) {
        malformado(QString::fromUtf8(e.what()));
    }
    // A day's result carried under another day's header would be added to the wrong day.
    if (r.dia != b.dia) malformado(QStringLiteral("o resultado é de outro dia que o do boletim"));
    confereSomas(r);
    if (resultado) *resultado = std::move(r);
    return b;
}

} // namespace Apuracao
