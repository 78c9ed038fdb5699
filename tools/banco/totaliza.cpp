// "totaliza": the totals of many terminals' bulletins. Each bulletin is verified
// against its terminal's public key and added up only when everything about it
// holds; every refusal names the file and the reason in one line. The totals are
// kept per candidate and party, so memory does not grow with the number of bulletins.

#include "comandos.h"

#include "apuracao/apuracao.h"
#include "apuracao/arquivoseguro.h"
#include "apuracao/boletim.h"
#include "apuracao/eleicao.h"
#include "data/database.h"
#include "data/diatexto.h"
#include "reportengine/render.h"
#include "reports/ufrmimpressao.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QTemporaryFile>

#include <array>

#include <algorithm>

namespace
{
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

// The day as printed for people, dd/mm/aaaa whatever the machine's locale.
QString diaImpresso(const QDate &d)
{
    return d.toString(QStringLiteral("dd/MM/yyyy"));
}

QString nomeDoTipo(const QString &voto)
{
    if (voto == QLatin1String("NORMAL")) return QStringLiteral("Nominais (em candidatos)");
    if (voto == QLatin1String("LEGENDA")) return QStringLiteral("De legenda (em partidos)");
    if (voto == QLatin1String("BRANCO")) return QStringLiteral("Brancos");
    if (voto == QLatin1String("NULO")) return QStringLiteral("Nulos");
    return QStringLiteral("Total de votos");
}

QByteArray texto(const Apuracao::Resultado &t, Lista &lista, bool parcial, const QString &digitalEleicao,
                 const QString &digitalTotal)
{
    QString s;
    const auto linha = [&s](const QString &l) { s += l + u'\n'; };
    if (parcial) linha(QStringLiteral("PARCIAL: há boletins recusados; estes totais contam apenas os aceitos"));
    linha(QStringLiteral("Votarim - totalização de %1 boletim(ns)").arg(lista.contados));
    if (lista.dia.isValid()) linha(QStringLiteral("Dia: %1").arg(diaImpresso(lista.dia)));
    linha(QStringLiteral("Eleição (SHA-256): %1").arg(digitalEleicao));
    if (lista.contados > 0) linha(QStringLiteral("Impressão digital dos totais (SHA-256): %1").arg(digitalTotal));
    linha(QString());
    linha(QStringLiteral("Votos por tipo"));
    for (const Apuracao::Total &x : t.totais)
        linha(QStringLiteral("  %1%2  %3 %")
                  .arg(nomeDoTipo(x.voto).leftJustified(26), QString::number(x.votos).rightJustified(10),
                       x.percentual.rightJustified(6)));
    linha(QString());
    linha(QStringLiteral("Balanço por cargo"));
    if (t.cargos.isEmpty()) linha(QStringLiteral("  Nenhum voto."));
    for (const Apuracao::Cargo &c : t.cargos)
        linha(QStringLiteral("  %1: %2 nominais, %3 de legenda, %4 brancos, %5 nulos, %6 no total")
                  .arg(c.cargo)
                  .arg(c.normal)
                  .arg(c.legenda)
                  .arg(c.branco)
                  .arg(c.nulo)
                  .arg(c.total));
    linha(QString());
    linha(QStringLiteral("Votação nominal por cargo"));
    if (t.ranking.isEmpty()) linha(QStringLiteral("  Nenhum candidato."));
    QString cargo;
    bool primeiro = true;
    for (const Apuracao::Colocacao &x : t.ranking) {
        if (primeiro || x.cargo != cargo) {
            cargo = x.cargo;
            primeiro = false;
            linha(QStringLiteral("  Cargo: %1").arg(cargo));
        }
        linha(QStringLiteral("    %1º  %2  %3  %4  %5 votos  %6 %%7")
                  .arg(x.posicao)
                  .arg(x.numero, x.nome, x.partido)
                  .arg(x.votos)
                  .arg(x.percentual, x.situacao.isEmpty() ? QString() : QStringLiteral("  ") + x.situacao));
    }
    linha(QString());
    linha(QStringLiteral("Votos de legenda por partido"));
    if (t.legendas.isEmpty()) linha(QStringLiteral("  Nenhum voto de legenda."));
    for (const Apuracao::Legenda &l : t.legendas)
        linha(QStringLiteral("  %1  %2  %3 votos  %4 %").arg(l.legenda, l.partido).arg(l.votos).arg(l.percentual));
    linha(QString());
    linha(QStringLiteral("Boletins contados"));
    if (lista.contados == 0) linha(QStringLiteral("  Nenhum."));
    lista.percorre([&](qint64 terminal, const QString &digital, const QString &arquivo) {
        linha(QStringLiteral("  terminal %1  dia %2  %3  %4").arg(terminal).arg(diaImpresso(lista.dia), digital, arquivo));
    });
    return s.toUtf8();
}

QByteArray csv(const Apuracao::Resultado &t, Lista &lista, bool parcial, const QString &digitalEleicao,
               const QString &digitalTotal)
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
    if (lista.contados > 0) linha({QStringLiteral("Impressão digital dos totais (SHA-256)"), digitalTotal});
    s += QStringLiteral("\r\n");
    linha({QStringLiteral("Tipo"), QStringLiteral("Votos"), QStringLiteral("%")});
    for (const Apuracao::Total &x : t.totais)
        linha({x.voto, QString::number(x.votos), x.percentual});
    s += QStringLiteral("\r\n");
    linha({QStringLiteral("Cargo"), QStringLiteral("Nominais"), QStringLiteral("Legenda"), QStringLiteral("Brancos"),
           QStringLiteral("Nulos"), QStringLiteral("Total")});
    for (const Apuracao::Cargo &c : t.cargos)
        linha({c.cargo, QString::number(c.normal), QString::number(c.legenda), QString::number(c.branco),
               QString::number(c.nulo), QString::number(c.total)});
    s += QStringLiteral("\r\n");
    linha({QStringLiteral("Cargo"), QStringLiteral("Posição"), QStringLiteral("Nº"), QStringLiteral("Candidato"),
           QStringLiteral("Partido"), QStringLiteral("Votos")});
    for (const Apuracao::Colocacao &x : t.ranking)
        linha({x.cargo, QString::number(x.posicao), x.numero, x.nome, x.partido, QString::number(x.votos)});
    s += QStringLiteral("\r\n");
    linha({QStringLiteral("Legenda"), QStringLiteral("Partido"), QStringLiteral("Votos")});
    for (const Apuracao::Legenda &l : t.legendas)
        linha({l.legenda, l.partido, QString::number(l.votos)});
    s += QStringLiteral("\r\n");
    linha({QStringLiteral("Terminal"), QStringLiteral("Dia"), QStringLiteral("Impressão digital (SHA-256)"),
           QStringLiteral("Arquivo")});
    lista.percorre([&](qint64 terminal, const QString &digital, const QString &arquivo) {
        linha({QString::number(terminal), diaImpresso(lista.dia), digital, arquivo});
    });
    return QByteArrayLiteral("\xEF\xBB\xBF") + s.toUtf8();
}
// The sixth report of the shipped project, over the same result connections as the
// result report: the totals are a result like any terminal's.
void pdfTotais(const Apuracao::Resultado &t, Lista &lista, bool parcial, const QString &digitalEleicao,
               const QString &saida, const QString &umBoletim)
{
    QString boletins;
    lista.percorre([&](qint64 terminal, const QString &digital, const QString &arquivo) {
        boletins += QStringLiteral("terminal %1  dia %2  %3  %4\n")
                        .arg(terminal)
                        .arg(diaImpresso(lista.dia), digital, QFileInfo(arquivo).fileName());
    });
    boletins.chop(1);
    Database semBanco; // the totals need no database: every figure comes from the bulletins
    Tfrmimpressao modulo(nullptr, semBanco);
    modulo.mostraApuracao(t);
    modulo.relatorio->SetReportParameter(QStringLiteral("diarelatorio"), DiaTexto::escreve(lista.dia));
    modulo.relatorio->SetReportParameter(QStringLiteral("eleicao_digital"), digitalEleicao);
    modulo.relatorio->SetReportParameter(
        QStringLiteral("situacao"),
        parcial ? QStringLiteral("PARCIAL: há boletins recusados; estes totais contam apenas os aceitos") : QString());
    modulo.relatorio->SetReportParameter(QStringLiteral("boletins"), boletins);
    modulo.relatorio->SetReportParameter(QStringLiteral("impressao_digital"), modulo.digitalApuracao);
    modulo.relatorio->SetReportParameter(QStringLiteral("texto_canonico"),
                                                 Relatorios::textoDosCodigos(modulo.textoApuracao));
    Banco::gravaRelatorio(modulo, QStringLiteral("rel_totalizacao"), saida, umBoletim);
}
} // namespace

int Banco::totaliza(const QStringList &argumentos)
{
    QString chaves, pdf;
    bool emCsv = false, emPdf = false;
    QStringList arquivos;
    for (qsizetype i = 0; i < argumentos.size(); ++i) {
        const QString &a = argumentos[i];
        if (a == QLatin1String("--chaves") && i + 1 < argumentos.size() && chaves.isEmpty()) {
            chaves = argumentos[++i];
        } else if (a == QLatin1String("--csv") && !emCsv && !emPdf) {
            emCsv = true;
        } else if (a == QLatin1String("--pdf") && !emCsv && !emPdf && i + 1 < argumentos.size() &&
                   !argumentos[i + 1].isEmpty()) {
            emPdf = true;
            pdf = argumentos[++i];
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
    if (emPdf) {
        // The report never takes the place of a bulletin or a key.
        if (QFileInfo(QFileInfo(pdf).absolutePath()).canonicalFilePath() == QFileInfo(chaves).canonicalFilePath()) {
            std::fprintf(stderr, "A saída %s está na pasta de chaves: escolha outro arquivo\n", qPrintable(pdf));
            return 1;
        }
        for (const QString &arquivo : arquivos)
            if (!Banco::saidaProibida(pdf, arquivo).isEmpty() ||
                QFileInfo(pdf).absoluteFilePath() == QFileInfo(arquivo).absoluteFilePath()) {
                std::fprintf(stderr, "A saída %s é o boletim %s: escolha outro arquivo\n", qPrintable(pdf),
                             qPrintable(arquivo));
                return 1;
            }
    }

    QString digitalEleicao;
    Lista lista{arquivos, {}, 0, {}};
    if (!lista.linhas.open()) {
        std::fprintf(stderr, "Não foi possível criar um arquivo temporário para a lista de boletins\n");
        return 1;
    }
    // The accepted results added up as they come: memory bounded by the election.
    Apuracao::Soma soma;
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
            Apuracao::Resultado resultado;
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
            // Added up before it is listed: a result that cannot be added is refused, not counted.
            soma.adiciona(resultado);
            if (digitalEleicao.isEmpty()) {
                digitalEleicao = b.digitalEleicao;
                lista.dia = b.dia;
            }
            lista.acrescenta(b.terminal, b.digitalResultado, indice);
            contadoDoTerminal.insert(b.terminal, contado);
        } catch (const std::exception &e) {
            recusa(QString::fromUtf8(e.what()).remove(arquivo + QStringLiteral(": ")));
        }
    }
    Apuracao::Resultado totais;
    QByteArray saida;
    try {
        if (lista.contados > 0) totais = soma.resultado();
        if (emPdf) {
            if (lista.contados == 0) {
                std::fprintf(stderr, "Nenhum boletim aceito: o relatório %s não foi gravado\n", qPrintable(pdf));
                return 1;
            }
            pdfTotais(totais, lista, recusou, digitalEleicao, pdf, arquivos.first());
            saida = QStringLiteral("%1Relatório da totalização gravado em %2\n"
                                   "Eleição (SHA-256): %3\nImpressão digital dos totais (SHA-256): %4\n"
                                   "Projeto de relatório (SHA-256): %5\n")
                        .arg(recusou ? QStringLiteral("PARCIAL: há boletins recusados; estes totais contam "
                                                      "apenas os aceitos\n")
                                     : QString(),
                             pdf, digitalEleicao, Apuracao::impressaoDigital(Apuracao::textoCanonico(totais)),
                             QString::fromLatin1(Relatorios::kHashProjetoDistribuido))
                        .toUtf8();
            if (!escreveSaida(saida)) return 1;
            return recusou ? 1 : 0;
        }
        if (lista.contados == 0) Apuracao::classifica(totais); // nothing accepted: the kinds at 0
        const QString digitalTotal =
            lista.contados == 0 ? QString() : Apuracao::impressaoDigital(Apuracao::textoCanonico(totais));
        saida = emCsv ? csv(totais, lista, recusou, digitalEleicao, digitalTotal)
                      : texto(totais, lista, recusou, digitalEleicao, digitalTotal);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    if (!escreveSaida(saida)) return 1;
    return recusou ? 1 : 0;
}
