#include "apuracao/apuracao.h"

#include "data/diatexto.h"

#include <QCryptographicHash>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <charconv>
#include <limits>
#include <tuple>

namespace Apuracao
{

namespace
{

const QString kSemVotos = QStringLiteral("sem votos");
const QString kComVotos = QStringLiteral("com votos");
const char *const kKinds[] = {"NORMAL", "LEGENDA", "BRANCO", "NULO"};

// ---- Orders

// Nulls first, as the engine orders them ascending.
int compara(const Chave &a, const Chave &b)
{
    if (a == b) return 0;
    if (!a) return -1;
    if (!b) return 1;
    return *a < *b ? -1 : 1;
}

// In the order of the texts' UTF-8 bytes (the engine's binary order), without
// converting them: UTF-16 units order as code points once surrogates are moved
// above U+E000..U+FFFF.
int comparaBytes(const QString &a, const QString &b)
{
    const qsizetype n = std::min(a.size(), b.size());
    const QChar *x = a.constData(), *y = b.constData();
    for (qsizetype i = 0; i < n; ++i) {
        char16_t c = x[i].unicode(), d = y[i].unicode();
        if (c == d) continue;
        const auto pontoDeCodigo = [](char16_t u) {
            return u >= 0xD800 ? (u >= 0xE000 ? char16_t(u - 0x800) : char16_t(u + 0x2000)) : u;
        };
        return pontoDeCodigo(c) < pontoDeCodigo(d) ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Offices of the voting order by position, then the others by key, then no office.
struct OrdemDosCargos {
    QHash<qint64, qint64> posicao;
    int compara(const Chave &a, const Chave &b) const
    {
        const auto chaveDe = [this](const Chave &c) {
            const bool semCargo = !c;
            const bool foraDaOrdem = !c || !posicao.contains(*c);
            return std::tuple(semCargo, foraDaOrdem, foraDaOrdem ? 0 : posicao.value(*c), c.value_or(0));
        };
        const auto x = chaveDe(a), y = chaveDe(b);
        return x < y ? -1 : (y < x ? 1 : 0);
    }
};

// An office and a candidate, as one key (absent keys as the lowest number).
std::pair<qint64, qint64> par(const Chave &cargo, const Chave &candidato)
{
    return {cargo.value_or(std::numeric_limits<qint64>::min()),
            candidato.value_or(std::numeric_limits<qint64>::min())};
}

// ---- The text

// Appends a text field: UTF-8, with the separators and the backslash escaped.
void escapaEm(QByteArray &out, const QString &s)
{
    const QByteArray u = s.toUtf8();
    if (std::none_of(u.cbegin(), u.cend(),
                     [](char c) { return c == '\\' || c == '\t' || c == '\n' || c == '\r'; })) {
        out += u;
        return;
    }
    for (char c : u) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
}

QString desescapa(const QByteArray &b)
{
    if (!b.contains('\\')) return QString::fromUtf8(b);
    QByteArray out;
    out.reserve(b.size());
    for (qsizetype i = 0; i < b.size(); ++i) {
        if (b[i] != '\\') {
            out += b[i];
            continue;
        }
        if (++i >= b.size()) throw ErroApuracao("Texto do resultado inválido: \\ no fim de um campo");
        switch (b[i]) {
        case '\\':
            out += '\\';
            break;
        case 't':
            out += '\t';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        default:
            throw ErroApuracao("Texto do resultado inválido: sequência de escape desconhecida");
        }
    }
    return QString::fromUtf8(out);
}

QVariant valor(const Chave &c)
{
    return c ? QVariant(*c) : QVariant();
}

Tabela tabela(const char *nome, std::initializer_list<std::pair<const char *, bool>> colunas)
{
    Tabela t;
    t.nome = QString::fromLatin1(nome);
    for (const auto &[coluna, inteira] : colunas) {
        t.colunas << QString::fromLatin1(coluna);
        t.inteiras << inteira;
    }
    return t;
}

// The six sections without rows: their names and columns.
QList<Tabela> modelos()
{
    return {
        tabela("tb_apuracaoDIA", {{"dia", false}, {"dia_texto", false}}),
        tabela("tb_apuracaoTOTAIS", {{"voto", false}, {"votos", true}, {"percentual", false}}),
        tabela("tb_apuracaoCARGOS", {{"ordem", true},
                                     {"id_cargo", true},
                                     {"cargo", false},
                                     {"Totalnormal", true},
                                     {"Totallegenda", true},
                                     {"Totalbranco", true},
                                     {"Totalnulo", true},
                                     {"Totalgeral", true}}),
        tabela("tb_apuracaoRANKING", {{"id_cargo", true},
                                      {"cargo", false},
                                      {"posicao", true},
                                      {"id_candidato", true},
                                      {"numero_candidato", false},
                                      {"nome_candidato", false},
                                      {"id_partido", true},
                                      {"partido", false},
                                      {"votos", true},
                                      {"percentual", false},
                                      {"situacao", false}}),
        tabela("tb_apuracaoLEGENDAS", {{"id_partido", true},
                                       {"legenda", false},
                                       {"partido", false},
                                       {"votos", true},
                                       {"percentual", false}}),
        tabela("tb_apuracaoCONCORRENTES", {{"id_cargo", true},
                                           {"cargo", false},
                                           {"id_partido", true},
                                           {"partido", false},
                                           {"id_candidato", true},
                                           {"numero_candidato", false},
                                           {"nome_candidato", false},
                                           {"situacao", false}}),
    };
}

QString diaTexto(const QDate &d)
{
    return d.toString(QStringLiteral("dd/MM/yyyy"));
}

// One line of a section as the text writes it: fields separated by tabs, an
// absent key as nothing.
class Linha
{
  public:
    explicit Linha(QByteArray &out) : m_out(out) {}
    Linha &numero(qint64 v)
    {
        separa();
        escreve(v);
        return *this;
    }
    Linha &chave(const Chave &c)
    {
        separa();
        if (c) escreve(*c);
        return *this;
    }
    Linha &texto(const QString &t)
    {
        separa();
        escapaEm(m_out, t);
        return *this;
    }
    void fim() { m_out += '\n'; }

  private:
    void escreve(qint64 v)
    {
        char digitos[24];
        const auto fim = std::to_chars(digitos, digitos + sizeof digitos, v).ptr;
        m_out.append(digitos, fim - digitos);
    }
    void separa()
    {
        if (!m_primeiro) m_out += '\t';
        m_primeiro = false;
    }
    QByteArray &m_out;
    bool m_primeiro = true;
};

// The fields of one line of a section, read in order as Linha writes them.
class Campos
{
  public:
    Campos(const QList<QByteArray> &campos, qsizetype linha, const Tabela &secao)
        : m_campos(campos), m_linha(linha), m_secao(secao)
    {
    }
    QString texto() { return desescapa(m_campos[m_i++]); }
    Chave chave()
    {
        const QByteArray &c = m_campos[m_i];
        if (c.isEmpty()) {
            ++m_i;
            return std::nullopt;
        }
        return numero();
    }
    // An empty field reads as 0, which the canonical check then refuses.
    qint64 numero()
    {
        const QByteArray &c = m_campos[m_i];
        bool ok = c.isEmpty();
        const qint64 v = ok ? 0 : c.toLongLong(&ok);
        if (!ok || (!c.isEmpty() && QByteArray::number(v) != c))
            throw ErroApuracao(
                QStringLiteral("Texto do resultado inválido: linha %1, %2 não é um número inteiro")
                    .arg(m_linha)
                    .arg(m_secao.colunas[m_i])
                    .toStdString());
        ++m_i;
        return v;
    }

  private:
    const QList<QByteArray> &m_campos;
    qsizetype m_linha;
    const Tabela &m_secao;
    qsizetype m_i = 0;
};

} // namespace

// ---- Figures

QString percentual(qint64 parte, qint64 todo)
{
    if (todo <= 0) return QStringLiteral("0,00");
    const qint64 centesimos = (parte * 20000 + todo) / (2 * todo);
    return QStringLiteral("%1,%2").arg(centesimos / 100).arg(centesimos % 100, 2, 10, QLatin1Char('0'));
}

void classifica(Resultado &r)
{
    OrdemDosCargos ordem;
    for (const Cargo &c : r.cargos)
        if (c.idCargo && c.ordem) ordem.posicao.insert(*c.idCargo, *c.ordem);

    // Totals: the four kinds in their order, then their sum.
    qint64 porTipo[4] = {0, 0, 0, 0};
    for (const Total &t : r.totais)
        for (int i = 0; i < 4; ++i)
            if (t.voto == QLatin1String(kKinds[i])) porTipo[i] += t.votos;
    const qint64 totalDoDia = porTipo[0] + porTipo[1] + porTipo[2] + porTipo[3];
    r.totais.clear();
    for (int i = 0; i < 4; ++i)
        r.totais.append({QString::fromLatin1(kKinds[i]), porTipo[i], percentual(porTipo[i], totalDoDia)});
    r.totais.append({QStringLiteral("TOTAL"), totalDoDia, percentual(totalDoDia, totalDoDia)});

    std::stable_sort(r.cargos.begin(), r.cargos.end(),
                     [&](const Cargo &a, const Cargo &b) { return ordem.compara(a.idCargo, b.idCargo) < 0; });

    // Every candidate standing for an office appears in its ranking: with 0 when no vote there.
    QSet<std::pair<qint64, qint64>> comVotos;
    QList<Colocacao> ranking;
    ranking.reserve(r.ranking.size() + r.concorrentes.size());
    for (Colocacao &c : r.ranking)
        if (c.votos > 0) {
            comVotos.insert(par(c.idCargo, c.idCandidato));
            ranking.append(std::move(c));
        }
    for (Concorrente &c : r.concorrentes) {
        const bool votado = comVotos.contains(par(c.idCargo, c.idCandidato));
        c.situacao = votado ? kComVotos : kSemVotos;
        if (!votado)
            ranking.append(
                {c.idCargo, c.cargo, 0, c.idCandidato, c.numero, c.nome, c.idPartido, c.partido, 0, {}, {}});
    }
    std::stable_sort(ranking.begin(), ranking.end(), [&](const Colocacao &a, const Colocacao &b) {
        if (const int c = ordem.compara(a.idCargo, b.idCargo)) return c < 0;
        if (a.votos != b.votos) return a.votos > b.votos;
        if (const int c = compara(a.idPartido, b.idPartido)) return c < 0;
        if (const int c = comparaBytes(a.numero, b.numero)) return c < 0;
        return compara(a.idCandidato, b.idCandidato) < 0;
    });
    // Positions start again at each office; equal votes share a position (1, 1, 3).
    for (qsizetype inicio = 0; inicio < ranking.size();) {
        qsizetype fim = inicio;
        qint64 votosDoCargo = 0;
        while (fim < ranking.size() && ranking[fim].idCargo == ranking[inicio].idCargo)
            votosDoCargo += ranking[fim++].votos;
        for (qsizetype i = inicio; i < fim; ++i) {
            Colocacao &c = ranking[i];
            c.posicao =
                i > inicio && c.votos == ranking[i - 1].votos ? ranking[i - 1].posicao : int(i - inicio + 1);
            c.percentual = percentual(c.votos, votosDoCargo);
            c.situacao = c.votos == 0 ? kSemVotos : QString();
        }
        inicio = fim;
    }
    r.ranking = std::move(ranking);

    qint64 votosLegenda = 0;
    for (const Legenda &l : std::as_const(r.legendas))
        votosLegenda += l.votos;
    std::stable_sort(r.legendas.begin(), r.legendas.end(), [](const Legenda &a, const Legenda &b) {
        if (a.votos != b.votos) return a.votos > b.votos;
        if (const int c = comparaBytes(a.legenda, b.legenda)) return c < 0;
        return compara(a.idPartido, b.idPartido) < 0;
    });
    for (Legenda &l : r.legendas)
        l.percentual = percentual(l.votos, votosLegenda);

    std::stable_sort(r.concorrentes.begin(), r.concorrentes.end(),
                     [&](const Concorrente &a, const Concorrente &b) {
                         if (const int c = ordem.compara(a.idCargo, b.idCargo)) return c < 0;
                         if (const int c = comparaBytes(a.partido, b.partido)) return c < 0;
                         if (const int c = comparaBytes(a.nome, b.nome)) return c < 0;
                         if (const int c = compara(a.idCandidato, b.idCandidato)) return c < 0;
                         return compara(a.idPartido, b.idPartido) < 0;
                     });
}

// ---- The canonical text

QList<Tabela> tabelas(const Resultado &r)
{
    QList<Tabela> t = modelos();
    t[0].linhas.append({DiaTexto::paraBanco(r.dia), diaTexto(r.dia)});
    for (const Total &x : r.totais)
        t[1].linhas.append({x.voto, x.votos, x.percentual});
    for (const Cargo &x : r.cargos)
        t[2].linhas.append(
            {valor(x.ordem), valor(x.idCargo), x.cargo, x.normal, x.legenda, x.branco, x.nulo, x.total});
    for (const Colocacao &x : r.ranking)
        t[3].linhas.append({valor(x.idCargo), x.cargo, qint64(x.posicao), valor(x.idCandidato), x.numero,
                            x.nome, valor(x.idPartido), x.partido, x.votos, x.percentual, x.situacao});
    for (const Legenda &x : r.legendas)
        t[4].linhas.append({valor(x.idPartido), x.legenda, x.partido, x.votos, x.percentual});
    for (const Concorrente &x : r.concorrentes)
        t[5].linhas.append({valor(x.idCargo), x.cargo, valor(x.idPartido), x.partido, valor(x.idCandidato),
                            x.numero, x.nome, x.situacao});
    return t;
}

QByteArray textoCanonico(const Resultado &r)
{
    // Each section's name and column titles, as tabelas() names them.
    static const QList<QByteArray> cabecalhos = [] {
        QList<QByteArray> c;
        for (const Tabela &t : modelos())
            c << '#' + t.nome.toUtf8() + '\n' + t.colunas.join(u'\t').toUtf8() + '\n';
        return c;
    }();
    QByteArray out = "#votarim-resultado\t" + QByteArray::number(kVersao) + '\n';
    out.reserve(1024 + 96 * (r.ranking.size() + r.concorrentes.size()));
    out += cabecalhos[0];
    Linha(out).texto(DiaTexto::paraBanco(r.dia)).texto(diaTexto(r.dia)).fim();
    out += cabecalhos[1];
    for (const Total &x : r.totais)
        Linha(out).texto(x.voto).numero(x.votos).texto(x.percentual).fim();
    out += cabecalhos[2];
    for (const Cargo &x : r.cargos)
        Linha(out)
            .chave(x.ordem)
            .chave(x.idCargo)
            .texto(x.cargo)
            .numero(x.normal)
            .numero(x.legenda)
            .numero(x.branco)
            .numero(x.nulo)
            .numero(x.total)
            .fim();
    out += cabecalhos[3];
    for (const Colocacao &x : r.ranking)
        Linha(out)
            .chave(x.idCargo)
            .texto(x.cargo)
            .numero(x.posicao)
            .chave(x.idCandidato)
            .texto(x.numero)
            .texto(x.nome)
            .chave(x.idPartido)
            .texto(x.partido)
            .numero(x.votos)
            .texto(x.percentual)
            .texto(x.situacao)
            .fim();
    out += cabecalhos[4];
    for (const Legenda &x : r.legendas)
        Linha(out)
            .chave(x.idPartido)
            .texto(x.legenda)
            .texto(x.partido)
            .numero(x.votos)
            .texto(x.percentual)
            .fim();
    out += cabecalhos[5];
    for (const Concorrente &x : r.concorrentes)
        Linha(out)
            .chave(x.idCargo)
            .texto(x.cargo)
            .chave(x.idPartido)
            .texto(x.partido)
            .chave(x.idCandidato)
            .texto(x.numero)
            .texto(x.nome)
            .texto(x.situacao)
            .fim();
    return out;
}

QString impressaoDigital(const QByteArray &texto)
{
    return QString::fromLatin1(QCryptographicHash::hash(texto, QCryptographicHash::Sha256).toHex());
}

namespace
{

// The sections of a text read into a result as they stand, unchecked against its votes.
Resultado leSecoes(const QByteArray &texto)
{
    if (!texto.endsWith('\n')) throw ErroApuracao("Texto do resultado inválido: incompleto");
    QList<QByteArray> linhas = texto.split('\n');
    linhas.removeLast();
    qsizetype n = 0;
    const auto proxima = [&]() -> const QByteArray & {
        if (n >= linhas.size()) throw ErroApuracao("Texto do resultado inválido: incompleto");
        return linhas[n++];
    };
    if (proxima() != "#votarim-resultado\t" + QByteArray::number(kVersao))
        throw ErroApuracao("Texto do resultado inválido: não é um resultado do Votarim nesta versão");

    const QList<Tabela> t = modelos();
    Resultado r;
    int dias = 0;
    for (qsizetype k = 0; k < t.size(); ++k) {
        const Tabela &secao = t[k];
        if (proxima() != '#' + secao.nome.toUtf8() || proxima() != secao.colunas.join(u'\t').toUtf8())
            throw ErroApuracao(QStringLiteral("Texto do resultado inválido: falta a seção %1")
                                   .arg(secao.nome)
                                   .toStdString());
        while (n < linhas.size() && !linhas[n].startsWith('#')) {
            const QList<QByteArray> campos = proxima().split('\t');
            if (campos.size() != secao.colunas.size())
                throw ErroApuracao(QStringLiteral("Texto do resultado inválido: linha %1 com %2 campos")
                                       .arg(n)
                                       .arg(campos.size())
                                       .toStdString());
            Campos c(campos, n, secao);
            switch (k) {
            case 0:
                ++dias;
                r.dia = QDate::fromString(c.texto(), Qt::ISODate);
                c.texto(); // the day as printed, which the canonical check compares
                break;
            case 1: {
                Total x;
                x.voto = c.texto();
                x.votos = c.numero();
                x.percentual = c.texto();
                r.totais.append(std::move(x));
                break;
            }
            case 2: {
                Cargo x;
                x.ordem = c.chave();
                x.idCargo = c.chave();
                x.cargo = c.texto();
                x.normal = c.numero();
                x.legenda = c.numero();
                x.branco = c.numero();
                x.nulo = c.numero();
                x.total = c.numero();
                r.cargos.append(std::move(x));
                break;
            }
            case 3: {
                Colocacao x;
                x.idCargo = c.chave();
                x.cargo = c.texto();
                x.posicao = int(c.numero());
                x.idCandidato = c.chave();
                x.numero = c.texto();
                x.nome = c.texto();
                x.idPartido = c.chave();
                x.partido = c.texto();
                x.votos = c.numero();
                x.percentual = c.texto();
                x.situacao = c.texto();
                r.ranking.append(std::move(x));
                break;
            }
            case 4: {
                Legenda x;
                x.idPartido = c.chave();
                x.legenda = c.texto();
                x.partido = c.texto();
                x.votos = c.numero();
                x.percentual = c.texto();
                r.legendas.append(std::move(x));
                break;
            }
            default: {
                Concorrente x;
                x.idCargo = c.chave();
                x.cargo = c.texto();
                x.idPartido = c.chave();
                x.partido = c.texto();
                x.idCandidato = c.chave();
                x.numero = c.texto();
                x.nome = c.texto();
                x.situacao = c.texto();
                r.concorrentes.append(std::move(x));
            }
            }
        }
    }
    if (n != linhas.size()) throw ErroApuracao("Texto do resultado inválido: linhas depois da última seção");
    if (dias != 1) throw ErroApuracao("Texto do resultado inválido: o dia deve ter uma linha");
    if (!r.dia.isValid()) throw ErroApuracao("Texto do resultado inválido: dia inválido");
    return r;
}

} // namespace

Resultado interpreta(const QByteArray &texto)
{
    // Only a text as the program writes it: in canonical form, and with positions,
    // percentages, orders and totals that follow from its votes. Written again from
    // its classified figures it must be the very text; the form alone is compared
    // only to name the fault.
    Resultado r = leSecoes(texto);
    classifica(r);
    if (textoCanonico(r) != texto) {
        if (textoCanonico(leSecoes(texto)) != texto)
            throw ErroApuracao("Texto do resultado inválido: não está na forma canônica");
        throw ErroApuracao(
            "Texto do resultado inválido: posições, percentuais ou totais não conferem com os votos");
    }
    for (const Cargo &c : r.cargos)
        if (c.normal + c.legenda + c.branco + c.nulo != c.total)
            throw ErroApuracao("Texto do resultado inválido: o balanço de um cargo não fecha");
    return r;
}

} // namespace Apuracao
