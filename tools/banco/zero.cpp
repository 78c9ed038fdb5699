// "zero": the report that opens a voting day, before its first vote: every office
// of the voting order with every candidate standing that day at 0 votes, the
// election fingerprint and the fingerprint of the (empty) day result. Refused once
// the day has a vote, and while the day's check finds anything wrong: a zero
// report of a day that cannot run as loaded would certify the wrong thing.

#include "comandos.h"
#include "leitura.h"

#include "apuracao/apuracao.h"
#include "apuracao/assinatura.h"
#include "apuracao/eleicao.h"
#include "data/conferencia.h"
#include "data/database.h"
#include "data/diatexto.h"
#include "data/query.h"
#include "reports/ufrmimpressao.h"

#include <QSet>

namespace
{
qint64 votosDoDia(Database &db, const QString &dia)
{
    Query q(db);
    q.setSql(QStringLiteral("select count(*) from contagem_votacao where data = datevalue(\"%1\")").arg(dia));
    q.open();
    q.first();
    return q.field(0).asInteger();
}

QString textoZero(const Apuracao::Eleicao &e, const QString &dia, const QString &digitalEleicao,
                  const QString &digitalResultado)
{
    QString s;
    const auto linha = [&s](const QString &l) { s += l + u'\n'; };
    linha(QStringLiteral("Votarim - relatório de zeros do dia %1 (antes do primeiro voto)").arg(dia));
    linha(QString());
    QSet<qint64> vistos;
    for (const auto &o : e.ordem) {
        if (vistos.contains(o.cargo)) continue;
        vistos.insert(o.cargo);
        const auto *cargo = e.cargo(o.cargo);
        if (!cargo) continue; // an order row whose office is gone is not on the ballot
        linha(QStringLiteral("Cargo: %1").arg(cargo->nome));
        int candidatos = 0;
        for (const auto &m : e.mapa) {
            if (m.cargo != o.cargo) continue;
            const auto *c = e.candidato(m.candidato);
            const auto *p = e.partido(m.partido);
            if (!c || !p) continue; // a map row with a dangling reference does not stand
            linha(QStringLiteral("  %1  %2  %3  0 votos").arg(c->numero, c->nome, p->nome));
            ++candidatos;
        }
        if (candidatos == 0) linha(QStringLiteral("  Nenhum candidato no mapa de votação deste dia."));
        linha(QStringLiteral("  Brancos  0 votos"));
        linha(QStringLiteral("  Nulos  0 votos"));
    }
    linha(QStringLiteral("Votos de legenda: 0"));
    linha(QStringLiteral("Total de votos do dia: 0"));
    linha(QString());
    linha(QStringLiteral("Eleição (SHA-256): %1").arg(digitalEleicao));
    linha(QStringLiteral("Impressão digital (SHA-256): %1").arg(digitalResultado));
    return s;
}
} // namespace

int Banco::zero(const QStringList &argumentos)
{
    const bool emPdf = argumentos.size() == 4 && argumentos[2] == QLatin1String("--pdf");
    if ((argumentos.size() != 2 && !emPdf) || argumentos[0].isEmpty() || (emPdf && argumentos[3].isEmpty())) {
        escreveUso(stderr);
        return kSaidaUso;
    }
    const QDate data = diaDoArgumento(argumentos[1]);
    if (!data.isValid()) return kSaidaUso;
    const QString &arquivo = argumentos[0];
    const QString dia = DiaTexto::escreve(data);
    QByteArray bytes;
    try {
        Database db;
        abreParaLeitura(db, arquivo);
        Transaction leitura(db);
        const qint64 votos = votosDoDia(db, dia);
        if (votos > 0) {
            std::fprintf(stderr,
                         "O dia %s já tem %lld voto(s): o relatório de zeros só é emitido antes do primeiro voto\n",
                         qPrintable(dia), static_cast<long long>(votos));
            return 1;
        }
        const QStringList achados = Conferencia::achadosDoDia(db, data);
        if (!achados.isEmpty()) {
            std::fprintf(stderr, "O dia %s não pode começar: a conferência encontrou %lld problema(s)\n",
                         qPrintable(dia), static_cast<long long>(achados.size()));
            for (const QString &a : achados)
                std::fprintf(stderr, "  %s\n", qPrintable(a));
            return 1;
        }
        const Apuracao::Eleicao eleicao = Apuracao::leEleicao(db, dia);
        // The empty day's canonical result: the same text the result report and the
        // bulletins of that day would hash were no vote cast.
        Apuracao::Resultado vazio = Apuracao::calcula(db, data);
        const QString digitalResultado = Apuracao::impressaoDigital(Apuracao::textoCanonico(vazio));
        const QString digitalEleicao = Apuracao::sha256(Apuracao::textoEleicao(eleicao));
        bytes = textoZero(eleicao, data.toString(QStringLiteral("dd/MM/yyyy")), digitalEleicao, digitalResultado)
                    .toUtf8();
        if (emPdf) {
            // The report shows the very result whose fingerprint the text prints.
            Tfrmimpressao modulo(nullptr, db);
            modulo.mostraApuracao(std::move(vazio));
            modulo.relatorio->SetReportParameter(QStringLiteral("diarelatorio"), dia);
            modulo.relatorio->SetReportParameter(QStringLiteral("eleicao_digital"), digitalEleicao);
            modulo.relatorio->SetReportParameter(QStringLiteral("impressao_digital"), modulo.digitalApuracao);
            modulo.relatorio->SetReportParameter(QStringLiteral("texto_canonico"),
                                                 Relatorios::textoDosCodigos(modulo.textoApuracao));
            gravaRelatorio(modulo, QStringLiteral("rel_zero"), argumentos[3], arquivo);
            bytes = QStringLiteral("Relatório de zeros gravado em %1\nEleição (SHA-256): %2\n"
                                   "Impressão digital (SHA-256): %3\nProjeto de relatório (SHA-256): %4\n")
                        .arg(argumentos[3], digitalEleicao, digitalResultado,
                             QString::fromLatin1(Relatorios::kHashProjetoDistribuido))
                        .toUtf8();
        }
        leitura.commit();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", qPrintable(mensagemDeLeitura(e, arquivo)));
        return 1;
    }
    return escreveSaida(bytes) ? 0 : 1;
}
