// "totaliza": the totals of many terminals' bulletins. Each bulletin is verified
// against its terminal's public key and added up only when everything about it
// holds; every refusal names the file and the reason in one line. The totals are
// kept per candidate and party, so memory does not grow with the number of bulletins.

#include "comandos.h"

#include "apuracao/arquivoseguro.h"
#include "apuracao/boletim.h"
#include "apuracao/eleicao.h"
#include "reportengine/render.h"

#include <QCryptographicHash>
#include <QDir>
#include <QHash>
#include <QLocale>
#include <QSet>
#include <QTemporaryFile>

#include <array>

#include <algorithm>

namespace
{
using Apuracao::Eleicao;

// What is kept of an accepted bulletin, to recognise its terminal again: small, so
// that memory does not grow with the number of bulletins beyond a few bytes each.
struct Contado {
    qsizetype arquivo; // index in the arguments
    std::array<char, 32> conteudo; // the whole file's SHA-256
};

// The list of accepted bulletins goes to a temporary file as they are accepted
// ("terminal TAB result fingerprint TAB index of the file"), read back for the output.
struct Lista {
    const QStringList &arquivos;
    QTemporaryFile linhas;
    qsizetype contados = 0;
    QDate dia;

    void acrescenta(qint64 terminal, const QString &digital, qsizetype arquivo)
    {
        const QByteArray l = QByteArray::number(terminal) + '\t' + digital.toLatin1() + '\t' +
                             QByteArray::number(arquivo) + '\n';
        if (linhas.write(l) != l.size())
            throw std::runtime_error("Não foi possível gravar a lista de boletins contados (disco cheio?)");
        ++contados;
    }
    // Each accepted bulletin: terminal, result fingerprint, file.
    template<typename F> void percorre(F &&porBoletim)
    {
        if (!linhas.seek(0)) throw std::runtime_error("Não foi possível ler a lista de boletins contados");
        for (qsizetype i = 0; i < contados; ++i) {
            const QList<QByteArray> campos = linhas.readLine().trimmed().split('\t');
            if (campos.size() != 3) throw std::runtime_error("Não foi possível ler a lista de boletins contados");
            porBoletim(campos[0].toLongLong(), QString::fromLatin1(campos[1]), arquivos.value(campos[2].toLongLong()));
        }
    }
};

struct LinhaRanking {
    QString cargo, posicao, numero, candidato, partido;
    qint64 votos;
};

// The day as printed for people, dd/mm/aaaa whatever the machine's locale.
QString diaImpresso(const QDate &d)
{
    return d.toString(QStringLiteral("dd/MM/yyyy"));
}

QString percentual(qint64 parte, qint64 todo)
{
    return QLocale(QLocale::Portuguese, QLocale::Brazil)
        .toString(todo == 0 ? 0.0 : double(parte) * 100.0 / double(todo), 'f', 2);
}

QString nomeCargo(const Eleicao &e, const QString &chave)
{
    if (chave.isEmpty()) return QStringLiteral("sem cargo registrado");
    const auto *c = e.cargo(chave.toLongLong());
    return c ? c->nome : QStringLiteral("(cargo removido)");
}

QString nomePartido(const Eleicao &e, const QString &chave)
{
    const auto *p = chave.isEmpty() ? nullptr : e.partido(chave.toLongLong());
    return p ? p->nome : QStringLiteral("(partido removido)");
}

// Legend votes per party, by legend: (party key, legend, votes).
QList<std::tuple<QString, QString, qint64>> legendas(const Apuracao::Totais &t)
{
    QList<std::tuple<QString, QString, qint64>> l;
    for (auto it = t.legendas.cbegin(); it != t.legendas.cend(); ++it) {
        const qsizetype tab = it.key().indexOf(u'\t');
        QString legenda;
        Apuracao::desescapa(it.key().mid(tab + 1), legenda);
        l.append({it.key().left(tab), legenda, it.value()});
    }
    std::sort(l.begin(), l.end(), [](const auto &a, const auto &b) {
        return std::get<1>(a) != std::get<1>(b) ? std::get<1>(a) < std::get<1>(b) : std::get<0>(a) < std::get<0>(b);
    });
    return l;
}

// Offices in the voting order, then any other office that has votes.
QList<LinhaRanking> ranking(const Eleicao &e, const Apuracao::Totais &t)
{
    // The keys of the totals, split back: office, candidate, number, party.
    QList<QStringList> votados;
    for (auto it = t.nominais.cbegin(); it != t.nominais.cend(); ++it) {
        QStringList partes = it.key().split(u'\t');
        QString numero;
        Apuracao::desescapa(partes[2], numero);
        partes[2] = numero;
        partes << QString::number(it.value());
        votados << partes;
    }
    QStringList cargos;
    for (const auto &o : e.ordem)
        if (!cargos.contains(QString::number(o.cargo))) cargos << QString::number(o.cargo);
    for (const QStringList &v : votados)
        if (!cargos.contains(v[0])) cargos << v[0];
    QList<LinhaRanking> linhas;
    for (const QString &cargo : cargos) {
        struct Item {
            QString candidato, numero, partido;
            qint64 votos;
        };
        QList<Item> itens;
        QSet<QString> comVotos;
        for (const QStringList &v : votados) {
            if (v[0] != cargo) continue;
            itens.append({v[1], v[2], v[3], v[4].toLongLong()});
            comVotos.insert(v[1]);
        }
        // Everyone who stood for the office that day appears, with 0 when nobody voted for them.
        for (const auto &m : e.mapa) {
            const QString candidato = QString::number(m.candidato);
            if (QString::number(m.cargo) != cargo || comVotos.contains(candidato)) continue;
            comVotos.insert(candidato);
            const auto *c = e.candidato(m.candidato);
            itens.append({candidato, c ? c->numero : QString(), QString::number(m.partido), 0});
        }
        std::stable_sort(itens.begin(), itens.end(), [](const Item &a, const Item &b) {
            if (a.votos != b.votos) return a.votos > b.votos;
            return std::tie(a.numero, a.candidato, a.partido) < std::tie(b.numero, b.candidato, b.partido);
        });
        for (qsizetype i = 0; i < itens.size(); ++i) {
            const auto *c = e.candidato(itens[i].candidato.toLongLong());
            qsizetype posicao = i;
            while (posicao > 0 && itens[posicao - 1].votos == itens[i].votos)
                --posicao;
            linhas.append({nomeCargo(e, cargo), QString::number(posicao + 1), itens[i].numero,
                           c ? c->nome : QStringLiteral("(candidato removido)"), nomePartido(e, itens[i].partido),
                           itens[i].votos});
        }
    }
    return linhas;
}

QByteArray texto(const Eleicao &e, const Apuracao::Totais &t, Lista &lista, bool parcial,
                 const QString &digitalEleicao)
{
    QString s;
    const auto linha = [&s](const QString &l) { s += l + u'\n'; };
    if (parcial) linha(QStringLiteral("PARCIAL: há boletins recusados; estes totais contam apenas os aceitos"));
    linha(QStringLiteral("Votarim - totalização de %1 boletim(ns)").arg(lista.contados));
    if (lista.dia.isValid()) linha(QStringLiteral("Dia: %1").arg(diaImpresso(lista.dia)));
    linha(QStringLiteral("Eleição (SHA-256): %1").arg(digitalEleicao));
    linha(QString());
    linha(QStringLiteral("Votos por tipo"));
    const auto tipo = [&](const QString &nome, qint64 votos) {
        linha(QStringLiteral("  %1%2  %3 %")
                  .arg(nome.leftJustified(26), QString::number(votos).rightJustified(10),
                       percentual(votos, t.total).rightJustified(6)));
    };
    tipo(QStringLiteral("Nominais (em candidatos)"), t.normal);
    tipo(QStringLiteral("De legenda (em partidos)"), t.legenda);
    tipo(QStringLiteral("Brancos"), t.branco);
    tipo(QStringLiteral("Nulos"), t.nulo);
    tipo(QStringLiteral("Total de votos"), t.total);
    linha(QString());
    linha(QStringLiteral("Votação nominal por cargo"));
    QString cargo;
    const QList<LinhaRanking> r = ranking(e, t);
    QHash<QString, qint64> votosDoCargo;
    for (const auto &x : r)
        votosDoCargo[x.cargo] += x.votos;
    for (const auto &x : r) {
        if (x.cargo != cargo) {
            cargo = x.cargo;
            linha(QStringLiteral("  Cargo: %1 (%2 votos nominais)").arg(cargo).arg(votosDoCargo.value(cargo)));
        }
        linha(QStringLiteral("    %1º  %2  %3  %4  %5 votos  %6 %%7")
                  .arg(x.posicao, x.numero, x.candidato, x.partido)
                  .arg(x.votos)
                  .arg(percentual(x.votos, votosDoCargo.value(cargo)),
                       x.votos == 0 ? QStringLiteral("  sem votos") : QString()));
    }
    linha(QString());
    linha(QStringLiteral("Votos de legenda por partido"));
    if (t.legendas.isEmpty()) linha(QStringLiteral("  Nenhum voto de legenda."));
    for (const auto &[partido, legenda, votos] : legendas(t))
        linha(QStringLiteral("  %1  %2  %3 votos  %4 %")
                  .arg(legenda, nomePartido(e, partido))
                  .arg(votos)
                  .arg(percentual(votos, t.legenda)));
    linha(QString());
    linha(QStringLiteral("Boletins contados"));
    lista.percorre([&](qint64 terminal, const QString &digital, const QString &arquivo) {
        linha(QStringLiteral("  terminal %1  dia %2  %3  %4").arg(terminal).arg(diaImpresso(lista.dia), digital, arquivo));
    });
    return s.toUtf8();
}

QByteArray csv(const Eleicao &e, const Apuracao::Totais &t, Lista &lista, bool parcial,
               const QString &digitalEleicao)
{
    QString s;
    const auto linha = [&](const QStringList &campos) {
        QStringList l;
        for (const QString &c : campos)
            l << ReportEngine::csvField(c);
        s += l.join(u';') + QStringLiteral("\r\n");
    };
    if (parcial) linha({QStringLiteral("PARCIAL")});
    linha({QStringLiteral("Eleição (SHA-256)"), digitalEleicao});
    s += QStringLiteral("\r\n");
    linha({QStringLiteral("Tipo"), QStringLiteral("Votos"), QStringLiteral("%")});
    linha({QStringLiteral("NORMAL"), QString::number(t.normal), percentual(t.normal, t.total)});
    linha({QStringLiteral("LEGENDA"), QString::number(t.legenda), percentual(t.legenda, t.total)});
    linha({QStringLiteral("BRANCO"), QString::number(t.branco), percentual(t.branco, t.total)});
    linha({QStringLiteral("NULO"), QString::number(t.nulo), percentual(t.nulo, t.total)});
    linha({QStringLiteral("TOTAL"), QString::number(t.total), percentual(t.total, t.total)});
    s += QStringLiteral("\r\n");
    linha({QStringLiteral("Cargo"), QStringLiteral("Posição"), QStringLiteral("Nº"), QStringLiteral("Candidato"),
           QStringLiteral("Partido"), QStringLiteral("Votos")});
    for (const auto &x : ranking(e, t))
        linha({x.cargo, x.posicao, x.numero, x.candidato, x.partido, QString::number(x.votos)});
    s += QStringLiteral("\r\n");
    linha({QStringLiteral("Legenda"), QStringLiteral("Partido"), QStringLiteral("Votos")});
    for (const auto &[partido, legenda, votos] : legendas(t))
        linha({legenda, nomePartido(e, partido), QString::number(votos)});
    s += QStringLiteral("\r\n");
    linha({QStringLiteral("Terminal"), QStringLiteral("Dia"), QStringLiteral("Impressão digital (SHA-256)"),
           QStringLiteral("Arquivo")});
    lista.percorre([&](qint64 terminal, const QString &digital, const QString &arquivo) {
        linha({QString::number(terminal), diaImpresso(lista.dia), digital, arquivo});
    });
    return QByteArrayLiteral("\xEF\xBB\xBF") + s.toUtf8();
}
} // namespace

int Banco::totaliza(const QStringList &argumentos)
{
    QString chaves;
    bool emCsv = false;
    QStringList arquivos;
    for (qsizetype i = 0; i < argumentos.size(); ++i) {
        const QString &a = argumentos[i];
        if (a == QLatin1String("--chaves") && i + 1 < argumentos.size() && chaves.isEmpty()) {
            chaves = argumentos[++i];
        } else if (a == QLatin1String("--csv") && !emCsv) {
            emCsv = true;
        } else if (a.startsWith(QLatin1String("--")) || a.isEmpty()) {
            escreveUso(stderr);
            return kSaidaUso;
        } else {
            arquivos << a;
        }
    }
    if (chaves.isEmpty() || arquivos.isEmpty()) {
        escreveUso(stderr);
        return kSaidaUso;
    }
    if (!QFileInfo(chaves).isDir()) {
        std::fprintf(stderr, "A pasta de chaves %s não existe\n", qPrintable(chaves));
        return kSaidaUso;
    }

    Eleicao eleicao;
    QString digitalEleicao;
    Lista lista{arquivos, {}, 0, {}};
    if (!lista.linhas.open()) {
        std::fprintf(stderr, "Não foi possível criar um arquivo temporário para a lista de boletins\n");
        return 1;
    }
    Apuracao::Totais totais;
    QHash<qint64, Contado> contadoDoTerminal;
    contadoDoTerminal.reserve(arquivos.size()); // one allocation, not a table rebuilt as it grows
    bool recusou = false;
    for (qsizetype indice = 0; indice < arquivos.size(); ++indice) {
        const QString &arquivo = arquivos[indice];
        const auto recusa = [&](const QString &motivo) {
            std::fprintf(stderr, "%s: recusado: %s\n", qPrintable(arquivo), qPrintable(motivo));
            recusou = true;
        };
        try {
            const QByteArray bytes = Apuracao::leArquivoRegular(arquivo, Apuracao::kTamanhoMaximoBoletim).bytes;
            Apuracao::ResultadoDia resultado;
            // The election's text is read in full once; later bulletins must carry the same fingerprint.
            const Apuracao::Boletim b = Apuracao::leBoletim(bytes, digitalEleicao.isEmpty(), &resultado);
            Contado contado{indice, {}};
            const QByteArray resumo = Apuracao::sha256Bruto(bytes);
            std::copy(resumo.cbegin(), resumo.cend(), contado.conteudo.begin());
            const auto jaContado = contadoDoTerminal.constFind(b.terminal);
            if (jaContado != contadoDoTerminal.cend() && jaContado->conteudo == contado.conteudo) {
                recusa(QStringLiteral("o mesmo boletim de %1, já contado").arg(arquivos[jaContado->arquivo]));
                continue;
            }
            if (lista.dia.isValid() && b.dia != lista.dia) {
                recusa(QStringLiteral("boletim do dia %1, os aceitos são do dia %2")
                           .arg(diaImpresso(b.dia), diaImpresso(lista.dia)));
                continue;
            }
            if (!digitalEleicao.isEmpty() && b.digitalEleicao != digitalEleicao) {
                recusa(QStringLiteral("outra eleição (impressão digital %1, a dos boletins aceitos é %2)")
                           .arg(b.digitalEleicao, digitalEleicao));
                continue;
            }
            const QString publica = QDir(chaves).filePath(QStringLiteral("%1.pub").arg(b.terminal));
            if (!QFileInfo::exists(publica)) {
                recusa(QStringLiteral("terminal %1 sem chave pública (%2)").arg(b.terminal).arg(publica));
                continue;
            }
            if (!Apuracao::confere(Apuracao::lePublica(publica), b.assinado, b.assinatura)) {
                recusa(QStringLiteral("assinatura inválida: o boletim foi alterado ou não foi assinado pelo "
                                      "terminal %1")
                           .arg(b.terminal));
                continue;
            }
            if (jaContado != contadoDoTerminal.cend()) {
                recusa(QStringLiteral("segundo boletim do terminal %1 (já contado: %2)")
                           .arg(b.terminal)
                           .arg(arquivos[jaContado->arquivo]));
                continue;
            }
            if (digitalEleicao.isEmpty()) {
                eleicao = Apuracao::leTextoEleicao(b.textoEleicao);
                digitalEleicao = b.digitalEleicao;
                lista.dia = b.dia;
            }
            lista.acrescenta(b.terminal, b.digitalResultado, indice);
            contadoDoTerminal.insert(b.terminal, contado);
            totais.soma(resultado);
        } catch (const std::exception &e) {
            recusa(QString::fromUtf8(e.what()).remove(arquivo + QStringLiteral(": ")));
        }
    }
    QByteArray saida;
    try {
        saida = emCsv ? csv(eleicao, totais, lista, recusou, digitalEleicao)
                      : texto(eleicao, totais, lista, recusou, digitalEleicao);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    if (!escreveSaida(saida)) return 1;
    return recusou ? 1 : 0;
}
