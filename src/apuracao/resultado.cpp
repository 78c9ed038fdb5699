#include "apuracao/resultado.h"
#include "apuracao/eleicao.h"


#include <stdexcept>

namespace Apuracao
{

namespace
{
const char *const kSecoes[][2] = {
    {"#tb_resultadoGERAL", "Totalgeral\tTotalbranco\tTotalnulo\tTotallegenda\tTotalnormal"},
    {"#tb_resultadoCANDIDATO", "id_candidato\tnumero_candidato\tid_cargo\tid_partido\tTotalvotos"},
    {"#tb_resultadoLEGENDA", "id_candidato\tlegenda\tTotalvotos"},
    {"#tb_candidatos_votacao", "nome_candidato\tcargo\tpartido"},
};

[[noreturn]] void malformado(const QString &motivo)
{
    throw std::runtime_error(QStringLiteral("resultado malformado (%1)").arg(motivo).toStdString());
}

// Decimal digits without a leading zero (0 itself allowed), at most `maximo` of them.
bool decimal(QStringView t, qsizetype maximo)
{
    if (t.isEmpty() || t.size() > maximo || (t.size() > 1 && t[0] == u'0')) return false;
    for (const QChar c : t)
        if (c < u'0' || c > u'9') return false;
    return true;
}

// A count: a whole number from 0 up, small enough to add up safely.
qint64 contagem(const QString &t)
{
    if (!decimal(t, 15)) malformado(QStringLiteral("contagem inválida \"%1\"").arg(t.left(20)));
    return t.toLongLong();
}

// A key: a whole number or nothing (null).
QString chave(const QString &t)
{
    if (!t.isEmpty() && !decimal(t.startsWith(u'-') ? QStringView(t).mid(1) : QStringView(t), 18))
        malformado(QStringLiteral("chave inválida \"%1\"").arg(t.left(20)));
    return t;
}
} // namespace

ResultadoDia leTextoResultado(const QByteArray &texto)
{
    if (!texto.endsWith('\n')) malformado(QStringLiteral("sem o fim de linha final"));
    const QString t = QString::fromUtf8(texto);
    if (t.toUtf8() != texto) malformado(QStringLiteral("não é UTF-8"));
    QStringList linhas = t.split(u'\n');
    linhas.removeLast();
    ResultadoDia r;
    qsizetype i = 0;
    int linhasGerais = 0;
    qint64 somaNominal = 0, somaLegenda = 0;
    for (int s = 0; s < 4; ++s) {
        if (linhas.value(i) != QLatin1String(kSecoes[s][0]) || linhas.value(i + 1) != QLatin1String(kSecoes[s][1]))
            malformado(QStringLiteral("seção %1 ausente ou fora de ordem").arg(QLatin1String(kSecoes[s][0])));
        i += 2;
        const int colunas = int(QString::fromLatin1(kSecoes[s][1]).count(u'\t')) + 1;
        QByteArray anterior;
        for (; i < linhas.size() && !linhas[i].startsWith(u'#'); ++i) {
            const QByteArray bruta = linhas[i].toUtf8();
            if (!anterior.isNull() && bruta < anterior) malformado(QStringLiteral("linhas fora de ordem"));
            anterior = bruta;
            const QStringList crus = linhas[i].split(u'\t');
            if (crus.size() != colunas) malformado(QStringLiteral("linha com %1 campos").arg(crus.size()));
            QStringList c;
            for (const QString &cru : crus) {
                QString v;
                if (!cru.contains(u'\\') && !cru.contains(u'\r')) v = cru; // nothing to undo
                else if (!desescapa(cru, v)) malformado(QStringLiteral("escape inválido"));
                c << v;
            }
            switch (s) {
            case 0:
                if (++linhasGerais > 1) malformado(QStringLiteral("mais de uma linha de totais"));
                r.total = contagem(c[0]);
                r.branco = contagem(c[1]);
                r.nulo = contagem(c[2]);
                r.legenda = contagem(c[3]);
                r.normal = contagem(c[4]);
                break;
            case 1:
                r.nominais.append({chave(c[0]), c[1], chave(c[2]), chave(c[3]), contagem(c[4])});
                somaNominal += r.nominais.last().votos;
                break;
            case 2:
                r.legendas.append({chave(c[0]), c[1], contagem(c[2])});
                somaLegenda += r.legendas.last().votos;
                break;
            default:
                break; // who stood: names only, carried by the election's text
            }
        }
    }
    if (i != linhas.size()) malformado(QStringLiteral("linhas além da última seção"));
    if (linhasGerais != 1) malformado(QStringLiteral("sem a linha de totais"));
    if (r.branco + r.nulo + r.legenda + r.normal != r.total)
        malformado(QStringLiteral("os votos por tipo não somam o total"));
    if (somaNominal != r.normal) malformado(QStringLiteral("os votos dos candidatos não somam os votos nominais"));
    if (somaLegenda != r.legenda) malformado(QStringLiteral("os votos dos partidos não somam os votos de legenda"));
    return r;
}

void Totais::soma(const ResultadoDia &r)
{
    total += r.total;
    branco += r.branco;
    nulo += r.nulo;
    legenda += r.legenda;
    normal += r.normal;
    for (const auto &v : r.nominais)
        nominais[v.cargo + u'\t' + v.candidato + u'\t' + escapa(v.numero) + u'\t' + v.partido] += v.votos;
    for (const auto &v : r.legendas)
        legendas[v.partido + u'\t' + escapa(v.legenda)] += v.votos;
}

} // namespace Apuracao
