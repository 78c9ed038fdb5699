#include "apuracao/eleicao.h"
#include "apuracao/assinatura.h"


#include <QRegularExpression>

#include <algorithm>
#include <stdexcept>

namespace Apuracao
{

namespace
{
const char *const kCabecalhos[][2] = {
    {"#cargo", "numcad_cargo\tcargo\tquantidade_numeros"},
    {"#partido", "numcad_partido\tpartido\tlegenda"},
    {"#candidatos", "numcad_candidato\tnome_candidato\tnumero_candidato\tid_partido\tid_cargo\tfoto_sha256"},
    {"#ordem_votacao", "ordem_votacao\tid_cargo"},
    {"#candidatos_votacao", "id_candidato\tid_cargo\tid_partido"},
};

// The lines of one section, sorted by their bytes so that the database's row order does not matter.
void secao(QByteArray &texto, int indice, QList<QByteArray> linhas)
{
    std::sort(linhas.begin(), linhas.end());
    texto += kCabecalhos[indice][0];
    texto += '\n';
    texto += kCabecalhos[indice][1];
    texto += '\n';
    for (const QByteArray &l : linhas)
        texto += l + '\n';
}

QByteArray linha(const QStringList &campos)
{
    QStringList escapados;
    for (const QString &c : campos)
        escapados << escapa(c);
    return escapados.join(u'\t').toUtf8();
}

QString n(qint64 v)
{
    return QString::number(v);
}

[[noreturn]] void malformado(const QString &motivo)
{
    throw std::runtime_error(QStringLiteral("texto da eleição malformado (%1)").arg(motivo).toStdString());
}

qint64 inteiro(const QString &t)
{
    static const QRegularExpression forma(QStringLiteral("^(0|-?[1-9][0-9]{0,17})$"));
    if (!forma.match(t).hasMatch()) malformado(QStringLiteral("número inválido \"%1\"").arg(t.left(20)));
    return t.toLongLong();
}
} // namespace

const Eleicao::Cargo *Eleicao::cargo(qint64 chave) const
{
    for (const auto &c : cargos)
        if (c.chave == chave) return &c;
    return nullptr;
}

const Eleicao::Partido *Eleicao::partido(qint64 chave) const
{
    for (const auto &p : partidos)
        if (p.chave == chave) return &p;
    return nullptr;
}

const Eleicao::Candidato *Eleicao::candidato(qint64 chave) const
{
    for (const auto &c : candidatos)
        if (c.chave == chave) return &c;
    return nullptr;
}

QString escapa(const QString &valor)
{
    QString s;
    s.reserve(valor.size());
    for (const QChar c : valor) {
        switch (c.unicode()) {
        case '\\': s += QStringLiteral("\\\\"); break;
        case '\t': s += QStringLiteral("\\t"); break;
        case '\n': s += QStringLiteral("\\n"); break;
        case '\r': s += QStringLiteral("\\r"); break;
        default: s += c;
        }
    }
    return s;
}

bool desescapa(const QString &texto, QString &valor)
{
    valor.clear();
    for (qsizetype i = 0; i < texto.size(); ++i) {
        const QChar c = texto[i];
        if (c == u'\t' || c == u'\n' || c == u'\r') return false;
        if (c != u'\\') {
            valor += c;
            continue;
        }
        if (++i == texto.size()) return false;
        switch (texto[i].unicode()) {
        case '\\': valor += u'\\'; break;
        case 't': valor += u'\t'; break;
        case 'n': valor += u'\n'; break;
        case 'r': valor += u'\r'; break;
        default: return false;
        }
    }
    return true;
}

QByteArray textoEleicao(const Eleicao &e)
{
    QByteArray texto;
    QList<QByteArray> l;
    for (const auto &c : e.cargos)
        l << linha({n(c.chave), c.nome, n(c.digitos)});
    secao(texto, 0, l);
    l.clear();
    for (const auto &p : e.partidos)
        l << linha({n(p.chave), p.nome, p.legenda});
    secao(texto, 1, l);
    l.clear();
    for (const auto &c : e.candidatos)
        l << linha({n(c.chave), c.nome, c.numero, n(c.partido), n(c.cargo), c.fotoSha256});
    secao(texto, 2, l);
    l.clear();
    for (const auto &o : e.ordem)
        l << linha({n(o.posicao), n(o.cargo)});
    secao(texto, 3, l);
    l.clear();
    for (const auto &m : e.mapa)
        l << linha({n(m.candidato), n(m.cargo), n(m.partido)});
    secao(texto, 4, l);
    return texto;
}

Eleicao leTextoEleicao(const QByteArray &texto)
{
    if (!texto.endsWith('\n')) malformado(QStringLiteral("sem o fim de linha final"));
    const QString t = QString::fromUtf8(texto);
    if (t.toUtf8() != texto) malformado(QStringLiteral("não é UTF-8"));
    QStringList linhas = t.split(u'\n');
    linhas.removeLast();
    Eleicao e;
    qsizetype i = 0;
    for (int s = 0; s < 5; ++s) {
        if (linhas.value(i) != QLatin1String(kCabecalhos[s][0]) ||
            linhas.value(i + 1) != QLatin1String(kCabecalhos[s][1]))
            malformado(QStringLiteral("seção %1 ausente ou fora de ordem").arg(QLatin1String(kCabecalhos[s][0])));
        i += 2;
        const int colunas = int(QString::fromLatin1(kCabecalhos[s][1]).count(u'\t')) + 1;
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
                if (!desescapa(cru, v)) malformado(QStringLiteral("escape inválido"));
                c << v;
            }
            switch (s) {
            case 0: e.cargos.append({inteiro(c[0]), c[1], inteiro(c[2])}); break;
            case 1: e.partidos.append({inteiro(c[0]), c[1], c[2]}); break;
            case 2: e.candidatos.append({inteiro(c[0]), c[1], c[2], inteiro(c[3]), inteiro(c[4]), c[5]}); break;
            case 3: e.ordem.append({inteiro(c[0]), inteiro(c[1])}); break;
            default: e.mapa.append({inteiro(c[0]), inteiro(c[1]), inteiro(c[2])}); break;
            }
        }
    }
    if (i != linhas.size()) malformado(QStringLiteral("linhas além da última seção"));
    // Written back it must be the same bytes: one election, one text.
    if (textoEleicao(e) != texto) malformado(QStringLiteral("não está na forma canônica"));
    std::sort(e.ordem.begin(), e.ordem.end(),
              [](const auto &a, const auto &b) { return a.posicao != b.posicao ? a.posicao < b.posicao : a.cargo < b.cargo; });
    return e;
}

} // namespace Apuracao
