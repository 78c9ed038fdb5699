#include "reports/ufrmimpressao.h"

#include "data/dberror.h"
#include "data/diatexto.h"
#include "data/ufrmdados.h"
#include "platform/instalacao.h"
#include "platform/mensagens.h"
#include "reportengine/render.h"

Tfrmimpressao *frmimpressao = nullptr;

// ---- ConexaoRelatorio

void ConexaoRelatorio::begin()
{
    m_guardados.push_back(m_consulta.beginReading());
}

void ConexaoRelatorio::first()
{
    m_consulta.first();
}

void ConexaoRelatorio::next()
{
    m_consulta.next();
}

bool ConexaoRelatorio::atEnd() const
{
    return !m_consulta.isActive() || m_consulta.eof();
}

QList<ReportEngine::FieldInfo> ConexaoRelatorio::fields() const
{
    using ReportEngine::FieldType;
    QList<ReportEngine::FieldInfo> out;
    for (const FieldDef &d : m_consulta.fieldDefs()) {
        FieldType tipo = FieldType::Text;
        switch (d.type) {
        case ::FieldType::String:
            tipo = FieldType::Text;
            break;
        case ::FieldType::Integer:
        case ::FieldType::SmallInt:
        case ::FieldType::AutoInc:
            tipo = FieldType::Integer;
            break;
        case ::FieldType::Float:
            tipo = FieldType::Float;
            break;
        case ::FieldType::Date:
            tipo = FieldType::Date;
            break;
        case ::FieldType::Blob:
            tipo = FieldType::Blob;
            break;
        }
        out.append(ReportEngine::FieldInfo(d.name, tipo, d.size, d.displayName));
    }
    return out;
}

QVariant ConexaoRelatorio::value(int field) const
{
    return m_consulta.field(field).value();
}

void ConexaoRelatorio::setFilter(const QString &filter)
{
    // The report reads; the system's own handlers have nothing to answer here.
    if (filter != m_consulta.filter())
        m_consulta.setFilter(filter, Query::Events::Skip);
    else if (m_consulta.isActive())
        m_consulta.first();
}

void ConexaoRelatorio::end()
{
    if (m_guardados.empty()) return;
    const Query::ReaderState estado = m_guardados.back();
    m_guardados.pop_back();
    m_consulta.endReading(estado);
}

// ---- Tfrmimpressao

namespace
{

Database &conexaoCompartilhada()
{
    if (!frmdados) throw DbError(QStringLiteral("O banco de dados não está conectado"));
    return frmdados->conexaoDB;
}

// The fields of the result's tables: the sections of the canonical text, then the
// fingerprint with the text it hashes (which the paper carries as QR codes).
QList<ReportEngine::FieldInfo> camposApuracao(int secao)
{
    using ReportEngine::FieldType;
    const QList<Apuracao::Tabela> secoes = Apuracao::tabelas({});
    if (secao >= secoes.size())
        return {ReportEngine::FieldInfo(QStringLiteral("impressao_digital"), FieldType::Text, 64),
                ReportEngine::FieldInfo(QStringLiteral("texto_canonico"), FieldType::Text)};
    QList<ReportEngine::FieldInfo> out;
    const Apuracao::Tabela &t = secoes[secao];
    for (qsizetype i = 0; i < t.colunas.size(); ++i)
        out.append(
            ReportEngine::FieldInfo(t.colunas[i], t.inteiras[i] ? FieldType::Integer : FieldType::Text));
    return out;
}

} // namespace

const QString Tfrmimpressao::kTextoCandidato = QStringLiteral("select * from candidatos");
const QString Tfrmimpressao::kTextoCargo = QStringLiteral("select * from cargo");
const QString Tfrmimpressao::kTextoPartido = QStringLiteral("select * from partido");

Tfrmimpressao::Tfrmimpressao(QObject *owner) : Tfrmimpressao(owner, conexaoCompartilhada()) {}

Tfrmimpressao::Tfrmimpressao(QObject *owner, Database &conexao)
    : QObject(owner), rel_candidato(conexao), rel_cargo(conexao), rel_partido(conexao),
      rel_resultadoGERAL(conexao), rel_resultadoCANDIDATO(conexao), rel_resultadoLEGENDA(conexao),
      rel_candidatos_votacao(conexao), rel_resultadoCARGO(conexao), tb_apuracaoDIA(camposApuracao(0)),
      tb_apuracaoTOTAIS(camposApuracao(1)), tb_apuracaoCARGOS(camposApuracao(2)),
      tb_apuracaoRANKING(camposApuracao(3)), tb_apuracaoLEGENDAS(camposApuracao(4)),
      tb_apuracaoCONCORRENTES(camposApuracao(5)), tb_apuracaoDIGITAL(camposApuracao(6)),
      opcaoes_relatorio(new ReportEngine::EngineSettings(this)),
      relatorio(new ReportEngine::ReportProject(this)), m_conexao(conexao)
{
    setObjectName(QStringLiteral("frmimpressao"));
    opcaoes_relatorio->setObjectName(QStringLiteral("opcaoes_relatorio"));

    rel_candidato.setSql(kTextoCandidato);
    rel_cargo.setSql(kTextoCargo);
    rel_partido.setSql(kTextoPartido);
    rel_candidatos_votacao.setSql(QStringList{QString()});
    rel_candidato.setFixedFields(Relatorios::camposCandidato());
    rel_cargo.setFixedFields(Relatorios::camposCargo());
    rel_partido.setFixedFields(Relatorios::camposPartido());
    rel_resultadoGERAL.setFixedFields(Relatorios::camposTotais());
    rel_resultadoCANDIDATO.setFixedFields(Relatorios::camposVotosCandidato());
    rel_resultadoLEGENDA.setFixedFields(Relatorios::camposVotosLegenda());
    rel_candidatos_votacao.setFixedFields(Relatorios::camposCandidatosDoDia());
    rel_resultadoCARGO.setFixedFields(Relatorios::camposCargos());

    ReportEngine::EngineSettings &o = *opcaoes_relatorio;
    o.TitleSetup = QStringLiteral("Opções de saida");
    o.TitleStatus = QStringLiteral("Estado atual do relatório");
    o.TitlePreview = QStringLiteral("Vizualização do relatório");
    o.SystemFiler.StatusFormat = QStringLiteral("Gerando página %p");
    o.SystemPrinter.StatusFormat = QStringLiteral("Imprimindo página %p");
    o.SystemPrinter.Title = QStringLiteral("Votarim");
    o.SystemPreview.ZoomFactor = 100;
    o.SystemPrinter.ScaleX = 100;
    o.SystemPrinter.ScaleY = 100;
    o.SystemPrinter.UnitsFactor = 1;
    o.DefaultDest = ReportEngine::Destination::Preview;
    o.SystemSetups = ReportEngine::Setup::AllowSetup | ReportEngine::Setup::AllowCopies |
                     ReportEngine::Setup::AllowCollate | ReportEngine::Setup::AllowDuplex |
                     ReportEngine::Setup::AllowDestPreview | ReportEngine::Setup::AllowDestPrinter |
                     ReportEngine::Setup::AllowDestFile | ReportEngine::Setup::AllowPrinterSetup |
                     ReportEngine::Setup::AllowPreviewSetup;
    o.SystemOptions = ReportEngine::Option::ShowStatus | ReportEngine::Option::AllowPrintFromPreview |
                      ReportEngine::Option::AllowSaveFromPreview | ReportEngine::Option::PreviewModal;

    relatorio->ProjectFile = Instalacao::caminho(QStringLiteral("relatorio.rav"));
    relatorio->Engine = opcaoes_relatorio;
    relatorio->errorHandler = [](const std::exception &e) { Mensagens::relataErro(e); };
    // The result's CSV is the tool's, from the same computed result.
    relatorio->csvOf = [this](const QString &nome) {
        if (nome.compare(QStringLiteral("rel_resultadogeral"), Qt::CaseInsensitive) != 0 || digitalApuracao.isEmpty())
            return QByteArray();
        return Relatorios::csvResultado(apuracao, digitalApuracao);
    };
    relatorio->pageStamp = [this](const QString &nome, const QString &hashProjeto) {
        return Relatorios::carimboDoResultado(*this, nome, hashProjeto);
    };
    for (const auto &[nome, conexaoRelatorio] : conexoes())
        relatorio->connections().add(nome, conexaoRelatorio);
    for (const auto &[nome, tabela] : conexoesApuracao())
        relatorio->connections().add(nome, tabela);
}

Tfrmimpressao::~Tfrmimpressao()
{
    if (frmimpressao == this) frmimpressao = nullptr;
}

QList<QPair<QString, ConexaoRelatorio *>> Tfrmimpressao::conexoes()
{
    return {{QStringLiteral("tb_candidato"), &tb_candidato},
            {QStringLiteral("tb_cargo"), &tb_cargo},
            {QStringLiteral("tb_partido"), &tb_partido},
            {QStringLiteral("tb_resultadoGERAL"), &tb_resultadoGERAL},
            {QStringLiteral("tb_resultadoCANDIDATO"), &tb_resultadoCANDIDATO},
            {QStringLiteral("tb_resultadoLEGENDA"), &tb_resultadoLEGENDA},
            {QStringLiteral("tb_candidatos_votacao"), &tb_candidatos_votacao},
            {QStringLiteral("tb_resultadoCARGO"), &tb_resultadoCARGO}};
}

QList<QPair<QString, ReportEngine::MemoryTable *>> Tfrmimpressao::conexoesApuracao()
{
    return {{QStringLiteral("tb_apuracaoDIA"), &tb_apuracaoDIA},
            {QStringLiteral("tb_apuracaoTOTAIS"), &tb_apuracaoTOTAIS},
            {QStringLiteral("tb_apuracaoCARGOS"), &tb_apuracaoCARGOS},
            {QStringLiteral("tb_apuracaoRANKING"), &tb_apuracaoRANKING},
            {QStringLiteral("tb_apuracaoLEGENDAS"), &tb_apuracaoLEGENDAS},
            {QStringLiteral("tb_apuracaoCONCORRENTES"), &tb_apuracaoCONCORRENTES},
            {QStringLiteral("tb_apuracaoDIGITAL"), &tb_apuracaoDIGITAL}};
}

void Tfrmimpressao::mostraApuracao(Apuracao::Resultado resultado)
{
    apuracao = std::move(resultado);
    textoApuracao = Apuracao::textoCanonico(apuracao);
    digitalApuracao = Apuracao::impressaoDigital(textoApuracao);
    // The rows are the canonical text's rows, value for value: the report cannot
    // print a figure the fingerprint does not cover.
    const QList<Apuracao::Tabela> secoes = Apuracao::tabelas(apuracao);
    const auto destinos = conexoesApuracao();
    for (qsizetype i = 0; i < destinos.size(); ++i) {
        ReportEngine::MemoryTable &tabela = *destinos[i].second;
        tabela = ReportEngine::MemoryTable(tabela.fields());
        if (i < secoes.size())
            for (const QVariantList &linha : secoes[i].linhas)
                tabela.appendRow(linha);
        else
            tabela.appendRow({digitalApuracao, QString::fromUtf8(textoApuracao)});
    }
}

// ---- The day queries and the fields

namespace Relatorios
{

QStringList textoTotais(const QString &dia)
{
    const QString d = dia;
    return {
        QStringLiteral("select count(data) as Totalgeral,"),
        QStringLiteral(" (select count(voto) from contagem_votacao where voto = \"BRANCO\" and data = "
                       "datevalue(\"%1\")) as Totalbranco,")
            .arg(d),
        QStringLiteral(" (select count(voto) from contagem_votacao where voto = \"NULO\" and data = "
                       "datevalue(\"%1\")) as Totalnulo,")
            .arg(d),
        QStringLiteral(" (select count(voto) from contagem_votacao where voto = \"LEGENDA\" and data = "
                       "datevalue(\"%1\")) as Totallegenda,")
            .arg(d),
        QStringLiteral("(select count(voto) from contagem_votacao where voto = \"NORMAL\" and data = "
                       "datevalue(\"%1\")) as Totalnormal")
            .arg(d),
        QStringLiteral("from contagem_votacao where data =  datevalue(\"%1\")").arg(d),
    };
}

QStringList textoCandidatos(const QString &dia)
{
    return {
        QStringLiteral(
            "SELECT id_candidato, numero_candidato, id_cargo, id_partido, count(id_candidato) AS Totalvotos"),
        QStringLiteral(" FROM contagem_votacao WHERE data= datevalue (\"%1\") and voto=\"NORMAL\"").arg(dia),
        QStringLiteral("GROUP BY id_cargo, id_partido, id_candidato, numero_candidato order by id_cargo, "
                       "count(id_candidato) desc, id_partido"),
    };
}

QStringList textoLegendas(const QString &dia)
{
    return {
        QStringLiteral("SELECT id_candidato,legenda, count(legenda) AS Totalvotos"),
        QStringLiteral(" FROM contagem_votacao"),
        QStringLiteral(" WHERE data = datevalue (\"%1\") And voto=\"LEGENDA\"").arg(dia),
        QStringLiteral(" GROUP BY legenda, id_candidato"),
    };
}

QStringList textoCandidatosDoDia(const QString &dia)
{
    // The map's overview, for one day, in the report's order.
    QStringList linhas = Tfrmdados::sqlMapaGeral();
    linhas << QStringLiteral(" and data_votacao = datevalue(\"%1\") order by cargo, partido, candidatos.nome_candidato ")
                  .arg(dia);
    return linhas;
}

QStringList textoCargos(const QString &dia)
{
    return Apuracao::textoBalanco(dia);
}

Apuracao::LinhasDoDia linhasDoDia(const Tfrmimpressao &modulo)
{
    const auto linhas = [](const Query &consulta) {
        QList<QVariantList> out;
        out.reserve(consulta.rowCount());
        for (int r = 0; r < consulta.rowCount(); ++r) {
            QVariantList linha;
            for (int c = 0; c < consulta.fieldCount(); ++c)
                linha.append(consulta.value(r, c));
            out.append(std::move(linha));
        }
        return out;
    };
    return {linhas(modulo.rel_resultadoGERAL).value(0), linhas(modulo.rel_resultadoCANDIDATO),
            linhas(modulo.rel_resultadoLEGENDA), linhas(modulo.rel_resultadoCARGO)};
}

void preparaDia(Tfrmimpressao &modulo, const QString &dia)
{
    // The whole text at once: line by line, every partial text would be translated too.
    const auto abre = [](Query &consulta, const QStringList &linhas) {
        consulta.setSql(linhas);
        consulta.open();
    };
    abre(modulo.rel_resultadoGERAL, textoTotais(dia));
    abre(modulo.rel_resultadoCANDIDATO, textoCandidatos(dia));
    abre(modulo.rel_resultadoLEGENDA, textoLegendas(dia));
    abre(modulo.rel_candidatos_votacao, textoCandidatosDoDia(dia));
    abre(modulo.rel_resultadoCARGO, textoCargos(dia));
    const QDate data = DiaTexto::le(dia);
    if (!data.isValid()) throw DbError(QStringLiteral("Dia inválido: %1").arg(dia));
    // The result is built from the rows just read: the day's votes are read once.
    modulo.mostraApuracao(Apuracao::calcula(modulo.conexao(), data, linhasDoDia(modulo)));
    // The fingerprint the report prints is the hash of the text behind its figures.
    modulo.relatorio->SetReportParameter(QStringLiteral("impressao_digital"), modulo.digitalApuracao);
    // And the text it hashes, which the last page carries as QR codes.
    modulo.relatorio->SetReportParameter(QStringLiteral("texto_canonico"), textoDosCodigos(modulo.textoApuracao));
}

QString textoDosCodigos(const QByteArray &texto)
{
    // Twelve codes of at most 800 bytes (three rows under the closing) fit the last
    // page; a larger election's text would stop the whole report, so its codes say
    // where the text is instead.
    if (texto.size() <= kBytesNosCodigos) return QString::fromUtf8(texto);
    return QStringLiteral("Texto do resultado grande demais para os códigos desta página (%1 bytes): "
                          "ele está no boletim do terminal (votarim-banco boletim), com a mesma impressão digital")
        .arg(texto.size());
}

namespace
{
FieldDef campo(const char *nome, FieldType tipo, int tamanho = 0)
{
    const QString n = QString::fromLatin1(nome);
    return FieldDef{n, tipo, tamanho, n};
}
} // namespace

QList<FieldDef> camposCandidato()
{
    return {campo("numcad_candidato", FieldType::AutoInc),   campo("nome_candidato", FieldType::String, 100),
            campo("numero_candidato", FieldType::String, 5), campo("id_partido", FieldType::Integer),
            campo("id_cargo", FieldType::Integer),           campo("foto", FieldType::Blob)};
}

QList<FieldDef> camposCargo()
{
    return {campo("numcad_cargo", FieldType::AutoInc), campo("cargo", FieldType::String, 60),
            campo("quantidade_numeros", FieldType::SmallInt)};
}

QList<FieldDef> camposPartido()
{
    return {campo("numcad_partido", FieldType::AutoInc), campo("partido", FieldType::String, 50),
            campo("legenda", FieldType::String, 2)};
}

QList<FieldDef> camposTotais()
{
    return {campo("Totalgeral", FieldType::Integer), campo("Totalbranco", FieldType::Integer),
            campo("Totalnulo", FieldType::Integer), campo("Totallegenda", FieldType::Integer),
            campo("Totalnormal", FieldType::Integer)};
}

QList<FieldDef> camposVotosCandidato()
{
    return {campo("id_candidato", FieldType::Integer), campo("numero_candidato", FieldType::String, 5),
            campo("id_cargo", FieldType::Integer), campo("id_partido", FieldType::Integer),
            campo("Totalvotos", FieldType::Integer)};
}

QList<FieldDef> camposVotosLegenda()
{
    return {campo("id_candidato", FieldType::Integer), campo("legenda", FieldType::String, 2),
            campo("Totalvotos", FieldType::Integer)};
}

QList<FieldDef> camposCandidatosDoDia()
{
    return {campo("nome_candidato", FieldType::String, 100), campo("cargo", FieldType::String, 60),
            campo("partido", FieldType::String, 50)};
}

QList<FieldDef> camposCargos()
{
    return {campo("ordem", FieldType::Integer),        campo("id_cargo", FieldType::Integer),
            campo("cargo", FieldType::String, 60),     campo("Totalnormal", FieldType::Integer),
            campo("Totallegenda", FieldType::Integer), campo("Totalbranco", FieldType::Integer),
            campo("Totalnulo", FieldType::Integer),    campo("Totalgeral", FieldType::Integer)};
}

const QByteArray kHashProjetoDistribuido = QByteArrayLiteral(VOTARIM_HASH_PROJETO);

QByteArray textoCanonico(Tfrmimpressao &modulo)
{
    return modulo.textoApuracao;
}

QString impressaoDigital(Tfrmimpressao &modulo)
{
    return modulo.digitalApuracao;
}

namespace
{
QString semUnidade(qint64 n)
{
    return QString::number(n);
}
} // namespace

QByteArray csvResultado(const Apuracao::Resultado &r, const QString &digital)
{
    QString t;
    const auto linha = [&](const QStringList &campos) {
        QStringList l;
        for (const QString &c : campos)
            l << ReportEngine::csvField(c);
        t += l.join(u';') + QStringLiteral("\r\n");
    };
    const auto separa = [&] { t += QStringLiteral("\r\n"); };
    linha({QStringLiteral("Dia")});
    linha({r.dia.toString(QStringLiteral("dd/MM/yyyy"))});
    separa();
    linha({QStringLiteral("Tipo de voto"), QStringLiteral("Votos"), QStringLiteral("%")});
    for (const Apuracao::Total &x : r.totais)
        linha({x.voto, semUnidade(x.votos), x.percentual});
    separa();
    linha({QStringLiteral("Ordem"), QStringLiteral("Cargo"), QStringLiteral("Nominais"),
           QStringLiteral("Legenda"), QStringLiteral("Brancos"), QStringLiteral("Nulos"),
           QStringLiteral("Total")});
    for (const Apuracao::Cargo &x : r.cargos)
        linha({x.ordem ? QString::number(*x.ordem) : QString(), x.cargo, semUnidade(x.normal),
               semUnidade(x.legenda), semUnidade(x.branco), semUnidade(x.nulo), semUnidade(x.total)});
    separa();
    linha({QStringLiteral("Cargo"), QStringLiteral("Posição"), QStringLiteral("Número"),
           QStringLiteral("Candidato"), QStringLiteral("Partido"), QStringLiteral("Votos"),
           QStringLiteral("%"), QStringLiteral("Situação")});
    for (const Apuracao::Colocacao &x : r.ranking)
        linha({x.cargo, QString::number(x.posicao), x.numero, x.nome, x.partido, semUnidade(x.votos),
               x.percentual, x.situacao});
    separa();
    linha(
        {QStringLiteral("Legenda"), QStringLiteral("Partido"), QStringLiteral("Votos"), QStringLiteral("%")});
    for (const Apuracao::Legenda &x : r.legendas)
        linha({x.legenda, x.partido, semUnidade(x.votos), x.percentual});
    separa();
    linha({QStringLiteral("Cargo"), QStringLiteral("Partido"), QStringLiteral("Número"),
           QStringLiteral("Candidato"), QStringLiteral("Situação")});
    for (const Apuracao::Concorrente &x : r.concorrentes)
        linha({x.cargo, x.partido, x.numero, x.nome, x.situacao});
    separa();
    linha({QStringLiteral("Impressão digital (SHA-256)"), digital});
    return QByteArrayLiteral("\xEF\xBB\xBF") + t.toUtf8();
}

const QString kAvisoProjetoDiferente = QStringLiteral("Projeto de relatório diferente do distribuído");

bool ehRelatorioDeResultado(const QString &relatorio)
{
    for (const char *nome : {"rel_resultadogeral", "rel_zero", "rel_totalizacao"})
        if (relatorio.compare(QLatin1String(nome), Qt::CaseInsensitive) == 0) return true;
    return false;
}

QString emGrupos(const QString &hash)
{
    QStringList grupos;
    for (qsizetype i = 0; i < hash.size(); i += 8)
        grupos << hash.mid(i, 8);
    return grupos.join(u' ');
}

ReportEngine::PageStamp carimboDoResultado(Tfrmimpressao &modulo, const QString &relatorio,
                                           const QString &hashProjeto)
{
    ReportEngine::PageStamp carimbo;
    if (!ehRelatorioDeResultado(relatorio)) return carimbo;
    carimbo.lines.push_back(
        {QStringLiteral("Impressão digital (SHA-256): ") + emGrupos(impressaoDigital(modulo)), Qt::black});
    carimbo.lines.push_back({QStringLiteral("Projeto de relatório (SHA-256): ") + emGrupos(hashProjeto), Qt::black});
    if (hashProjeto.toLatin1() != kHashProjetoDistribuido) carimbo.lines.push_back({kAvisoProjetoDiferente, Qt::red});
    return carimbo;
}

} // namespace Relatorios
