#include "apuracao/resultado.h"
#include "apuracao/eleicao.h"


#include <cstring>
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
bool decimal(QByteArrayView t, qsizetype maximo)
{
    if (t.isEmpty() || t.size() > maximo || (t.size() > 1 && t[0] == '0')) return false;
    for (const char c : t)
        if (c < '0' || c > '9') return false;
    return true;
}

// A count: a whole number from 0 up, small enough to add up safely.
qint64 contagem(QByteArrayView t)
{
    if (!decimal(t, 15)) malformado(QStringLiteral("contagem inválida \"%1\"").arg(QString::fromUtf8(t.first(std::min<qsizetype>(20, t.size())))));
    return t.toByteArray().toLongLong();
}

// A key: a whole number or nothing (null).
QString chave(QByteArrayView t)
{
    if (!t.isEmpty() && !decimal(t.startsWith('-') ? t.sliced(1) : t, 18))
        malformado(QStringLiteral("chave inválida \"%1\"").arg(QString::fromUtf8(t.first(std::min<qsizetype>(20, t.size())))));
    return QString::fromLatin1(t);
}

// A text field: its escapes undone.
QString texto(QByteArrayView t)
{
    QString v;
    if (!desescapa(QString::fromUtf8(t), v)) malformado(QStringLiteral("escape inválido"));
    return v;
}

// A text field that is only checked: known escapes, no carriage return.
void confereTexto(QByteArrayView t)
{
    for (qsizetype i = 0; i < t.size(); ++i) {
        if (t[i] == '\r') malformado(QStringLiteral("escape inválido"));
        if (t[i] != '\\') continue;
        if (++i == t.size() || (t[i] != '\\' && t[i] != 't' && t[i] != 'n' && t[i] != 'r'))
            malformado(QStringLiteral("escape inválido"));
    }
}

bool antes(QByteArrayView a, QByteArrayView b)
{
    const int c = std::memcmp(a.data(), b.data(), size_t(std::min(a.size(), b.size())));
    return c < 0 || (c == 0 && a.size() < b.size());
}
} // namespace

ResultadoDia leTextoResultado(const QByteArray &textoCanonico)
{
    // Read as bytes: a result is thousands of short fields, and the totals read thousands of results.
    if (!textoCanonico.endsWith('\n')) malformado(QStringLiteral("sem o fim de linha final"));
    if (QString::fromUtf8(textoCanonico).toUtf8() != textoCanonico) malformado(QStringLiteral("não é UTF-8"));
    QList<QByteArrayView> linhas;
    for (qsizetype at = 0; at < textoCanonico.size();) {
        const qsizetype fim = textoCanonico.indexOf('\n', at);
        linhas << QByteArrayView(textoCanonico).sliced(at, fim - at);
        at = fim + 1;
    }
    ResultadoDia r;
    qsizetype i = 0;
    int linhasGerais = 0;
    qint64 somaNominal = 0, somaLegenda = 0;
    QList<QByteArrayView> c;
    for (int s = 0; s < 4; ++s) {
        if (i + 1 >= linhas.size() || linhas[i] != QByteArrayView(kSecoes[s][0]) ||
            linhas[i + 1] != QByteArrayView(kSecoes[s][1]))
            malformado(QStringLiteral("seção %1 ausente ou fora de ordem").arg(QLatin1String(kSecoes[s][0])));
        i += 2;
        const qsizetype colunas = QByteArrayView(kSecoes[s][1]).count('\t') + 1;
        QByteArrayView anterior;
        bool primeira = true;
        for (; i < linhas.size() && !linhas[i].startsWith('#'); ++i) {
            const QByteArrayView linha = linhas[i];
            if (!primeira && antes(linha, anterior)) malformado(QStringLiteral("linhas fora de ordem"));
            primeira = false;
            anterior = linha;
            c.clear();
            for (qsizetype at = 0;;) {
                const qsizetype tab = linha.indexOf('\t', at);
                c << linha.sliced(at, (tab < 0 ? linha.size() : tab) - at);
                if (tab < 0) break;
                at = tab + 1;
            }
            if (c.size() != colunas) malformado(QStringLiteral("linha com %1 campos").arg(c.size()));
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
                r.nominais.append({chave(c[0]), texto(c[1]), chave(c[2]), chave(c[3]), contagem(c[4])});
                somaNominal += r.nominais.last().votos;
                break;
            case 2:
                r.legendas.append({chave(c[0]), texto(c[1]), contagem(c[2])});
                somaLegenda += r.legendas.last().votos;
                break;
            default:
                // who stood: names only, carried by the election's text
                for (const QByteArrayView &campo : c)
                    confereTexto(campo);
                break;
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
