#include "data/esquema.h"

#include "data/database.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryFile>
#include <sqlite3.h>
#include <unistd.h>
#include <vector>

namespace {

enum class Tipo { Auto, Texto, Digitos, Inteiro, Pequeno, QuantidadeDigitos, Data, Blob, Voto };

struct Coluna {
    const char *nome;
    Tipo tipo;
    int tamanho = 0;
};

struct Tabela {
    const char *nome;
    std::vector<Coluna> colunas;
};

// Columns in the order the program reads and writes them.
const std::vector<Tabela> &tabelas()
{
    static const std::vector<Tabela> t = {
        {"cargo", {{"numcad_cargo", Tipo::Auto}, {"cargo", Tipo::Texto, 60}, {"quantidade_numeros", Tipo::QuantidadeDigitos}}},
        {"partido", {{"numcad_partido", Tipo::Auto}, {"partido", Tipo::Texto, 50}, {"legenda", Tipo::Digitos, 2}}},
        {"candidatos",
         {{"numcad_candidato", Tipo::Auto},
          {"nome_candidato", Tipo::Texto, 100},
          {"numero_candidato", Tipo::Digitos, 5},
          {"id_partido", Tipo::Inteiro},
          {"id_cargo", Tipo::Inteiro},
          {"foto", Tipo::Blob}}},
        {"ordem_votacao", {{"ordem_votacao", Tipo::Inteiro}, {"id_cargo", Tipo::Inteiro}}},
        {"candidatos_votacao",
         {{"id_candidato", Tipo::Inteiro},
          {"id_cargo", Tipo::Inteiro},
          {"id_partido", Tipo::Inteiro},
          {"data_votacao", Tipo::Data}}},
        // The vote table comes last: its statements are built from this entry.
        {"contagem_votacao",
         {{"id_candidato", Tipo::Inteiro},
          {"numero_candidato", Tipo::Digitos, 5},
          {"voto", Tipo::Voto},
          {"data", Tipo::Data},
          {"legenda", Tipo::Digitos, 2},
          {"id_cargo", Tipo::Inteiro},
          {"id_partido", Tipo::Inteiro}}},
    };
    return t;
}

QString colunaDdl(const Coluna &c, bool obrigatoria)
{
    const QString n = QString::fromLatin1(c.nome);
    const auto regra = [&](const QString &msg, const QString &expr) {
        return QStringLiteral(" CONSTRAINT \"%1\" CHECK (%2)").arg(msg, QString(expr).replace(u'@', n));
    };
    const auto inteiro = [&](qint64 min, qint64 max) {
        return regra(QStringLiteral("O campo %1 aceita apenas números inteiros de %2 a %3").arg(n).arg(min).arg(max),
                     QStringLiteral("typeof(@) IN ('integer','null') AND @ BETWEEN %1 AND %2").arg(min).arg(max));
    };
    QString d = n;
    switch (c.tipo) {
    case Tipo::Auto:
        // The terminal carries keys as texts of at most 7 characters: a longer key would
        // be cut and name another row.
        d += QStringLiteral(" INTEGER PRIMARY KEY AUTOINCREMENT") +
             regra(QStringLiteral("O campo %1 aceita apenas números de 1 a 9999999").arg(n),
                   QStringLiteral("@ BETWEEN 1 AND 9999999"));
        break;
    case Tipo::Texto:
        d += QStringLiteral(" TEXT") +
             regra(QStringLiteral("O campo %1 aceita no máximo %2 caracteres").arg(n).arg(c.tamanho),
                   QStringLiteral("length(@) <= ") + QString::number(c.tamanho));
        break;
    case Tipo::Digitos:
        d += QStringLiteral(" TEXT") +
             regra(QStringLiteral("O campo %1 aceita apenas algarismos, no máximo %2").arg(n).arg(c.tamanho),
                   QStringLiteral("length(@) <= ") + QString::number(c.tamanho) +
                       QStringLiteral(" AND @ NOT GLOB '*[^0-9]*'"));
        break;
    case Tipo::Inteiro:
        d += QStringLiteral(" INTEGER") + inteiro(-2147483648LL, 2147483647LL);
        break;
    case Tipo::Pequeno:
        d += QStringLiteral(" SMALLINT") + inteiro(-32768, 32767);
        break;
    case Tipo::QuantidadeDigitos:
        // An office without a usable digit count could not be voted at the terminal.
        d += QStringLiteral(" SMALLINT NOT NULL") + inteiro(1, 5);
        break;
    case Tipo::Data:
        d += QStringLiteral(" DATE") +
             regra(QStringLiteral("O campo %1 aceita apenas datas, sem hora").arg(n),
                   QStringLiteral("typeof(@) IN ('text','null') AND (@ IS NULL OR (@ GLOB "
                                  "'[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]' AND date(@) = @))"));
        break;
    case Tipo::Blob:
        d += QStringLiteral(" BLOB");
        break;
    case Tipo::Voto:
        d += QStringLiteral(" TEXT") +
             regra(QStringLiteral("O campo %1 aceita apenas NORMAL, LEGENDA, NULO ou BRANCO").arg(n),
                   QStringLiteral("@ IN ('NORMAL','LEGENDA','NULO','BRANCO')"));
        break;
    }
    if (obrigatoria) d += QStringLiteral(" NOT NULL");
    return d;
}

const Tabela &tabelaVotos()
{
    return tabelas().back();
}

QStringList nomesVotos()
{
    QStringList nomes;
    for (const Coluna &c : tabelaVotos().colunas) nomes << QLatin1String(c.nome);
    return nomes;
}

QString criaTabela(const Tabela &t, const QString &nome)
{
    QStringList cols;
    const bool votos = &t == &tabelaVotos();
    for (const Coluna &c : t.colunas) {
        const bool obrigatoria =
            votos && (QLatin1String(c.nome) == QLatin1String("voto") || QLatin1String(c.nome) == QLatin1String("data"));
        cols << colunaDdl(c, obrigatoria);
    }
    return QStringLiteral("CREATE TABLE %1 (\n  %2\n)").arg(nome, cols.join(QStringLiteral(",\n  ")));
}

struct Unica {
    const char *colunasNaMensagem; // as the engine names them when refusing a duplicate
    const char *mensagem;
};

const Unica kUnicas[] = {
    {"candidatos.numero_candidato, candidatos.id_cargo", "Já existe um candidato com este número neste cargo"},
    {"partido.legenda", "Já existe um partido com esta legenda"},
    {"ordem_votacao.ordem_votacao", "Já existe um cargo nesta posição da ordem de votação"},
};

} // namespace

namespace Esquema {

QString colunasVotos()
{
    return nomesVotos().join(QStringLiteral(", "));
}

QString criaTabelaVotos(const QString &nome)
{
    return criaTabela(tabelaVotos(), nome);
}

QList<IndiceVotos> indicesVotos()
{
    // Covering the day's result: the candidate query groups in the first index's order
    // without a temporary tree and without reading the table; the legend query and
    // the totals read the second one alone. A plain (data, voto) index made the
    // candidate query slower than no index at all: it fetched each NORMAL row by its row id.
    return {{QStringLiteral("contagem_votacao_normal"),
             QStringLiteral("CREATE INDEX contagem_votacao_normal ON contagem_votacao "
                            "(data, voto, id_cargo, id_partido, id_candidato, numero_candidato)")},
            {QStringLiteral("contagem_votacao_legenda"),
             QStringLiteral("CREATE INDEX contagem_votacao_legenda ON contagem_votacao (data, voto, legenda, id_candidato)")}};
}

QString gatilhoVotos()
{
    // Each vote is stored at a random row id in the place of the statement's own row, so
    // a scan does not give the votes back in the order they were cast (ballot secrecy;
    // the page layout is the page ordering's task). The inner insert does not fire the
    // trigger again: recursive triggers are off.
    const QStringList nomes = nomesVotos();
    return QStringLiteral("CREATE TRIGGER contagem_votacao_sorteia BEFORE INSERT ON contagem_votacao BEGIN "
                          "INSERT INTO contagem_votacao (rowid, %1) VALUES (random(), NEW.%2); "
                          "SELECT RAISE(IGNORE); END")
        .arg(nomes.join(QStringLiteral(", ")), nomes.join(QStringLiteral(", NEW.")));
}

QStringList ddl()
{
    QStringList out;
    for (const Tabela &t : tabelas()) out << criaTabela(t, QLatin1String(t.nome));
    out << QStringLiteral("CREATE UNIQUE INDEX candidatos_numero_cargo ON candidatos (numero_candidato, id_cargo)")
        << QStringLiteral("CREATE UNIQUE INDEX partido_legenda ON partido (legenda)")
        << QStringLiteral("CREATE UNIQUE INDEX ordem_votacao_posicao ON ordem_votacao (ordem_votacao)")
        << QStringLiteral("CREATE INDEX candidatos_votacao_dia ON candidatos_votacao (data_votacao)");
    for (const IndiceVotos &i : indicesVotos()) out << i.sql;
    out << gatilhoVotos();
    return out;
}

void criaBanco(const QString &path, const std::function<void(Database &)> &preenche)
{
    if (QFileInfo::exists(path)) throw DbError(QStringLiteral("O arquivo %1 já existe").arg(path));
    QTemporaryFile tmp(path + QStringLiteral(".novo-XXXXXX"));
    if (!tmp.open())
        throw DbError(QStringLiteral("Não foi possível criar o arquivo %1: %2").arg(path, tmp.errorString()));
    const QString tmpName = tmp.fileName();
    tmp.close();

    QString erro;
    try {
        {
            Database novo;
            novo.create(tmpName);
            novo.execScript(QStringLiteral("PRAGMA journal_mode=WAL"));
            novo.execScript(QStringLiteral("PRAGMA secure_delete=ON"));
            Transaction criacao(novo);
            for (const QString &s : ddl()) novo.execScript(s);
            criacao.commit();
        }
        if (preenche) {
            Database banco;
            prepara(banco);
            banco.setConnectionString(Database::connectionStringFor(tmpName));
            banco.open();
            preenche(banco);
        }
    } catch (const std::exception &e) {
        erro = QString::fromUtf8(e.what());
    }
    // link() never replaces a file that appeared meanwhile.
    if (erro.isEmpty() && ::link(QFile::encodeName(tmpName).constData(), QFile::encodeName(path).constData()) != 0)
        erro = QString::fromLocal8Bit(strerror(errno));
    // tmp removes its own file when it goes out of scope
    if (!erro.isEmpty()) throw DbError(QStringLiteral("Não foi possível criar o banco %1: %2").arg(path, erro));
}

QString motivoNaoVotavel(const QString &numero, const QString &idCargo, const QString &cargo,
                         const QString &digitos, const QString &idPartido, const QString &partido,
                         const QString &legenda)
{
    // In the order the terminal meets them: the office, then the number's length,
    // then the two digits it takes as a legend. The lookup joins the party, so a
    // candidate without one is never shown.
    return QStringLiteral(
               "(CASE WHEN (%2) IS NULL THEN 'ele não tem um cargo cadastrado' "
               "WHEN (%5) IS NULL THEN 'ele não tem um partido cadastrado' "
               "WHEN typeof(%4) <> 'integer' OR (%4) NOT BETWEEN 1 AND 5 THEN "
               "'o cargo \"' || coalesce(%3, '') || '\" não tem uma quantidade de dígitos válida (de 1 a 5)' "
               "WHEN (%1) IS NULL OR length(%1) <> (%4) THEN "
               "'no cargo \"' || coalesce(%3, '') || '\" o número de um candidato tem exatamente ' "
               "|| (%4) || CASE WHEN (%4) = 1 THEN ' dígito' ELSE ' dígitos' END "
               "WHEN (%4) >= 3 AND substr(%1, 1, 2) IS NOT (%7) THEN "
               "'no cargo \"' || coalesce(%3, '') || '\", de ' || (%4) || "
               "' dígitos, o número de um candidato começa pela legenda do seu partido' || "
               "CASE WHEN (%7) IS NULL OR length(%7) <> 2 THEN "
               "', e o partido \"' || coalesce(%6, '') || '\" não tem legenda de dois dígitos' "
               "ELSE ' (\"' || coalesce(%6, '') || '\": ' || (%7) || ')' END "
               "END)")
        .arg(numero, idCargo, cargo, digitos, idPartido, partido, legenda);
}

QString motivoLinhaIncompleta(const QString &idCandidato, const QString &candidato, const QString &idCargo,
                              const QString &cargo, const QString &idPartido, const QString &partido,
                              const QString &cargoDaLinha, const QString &partidoDaLinha)
{
    return QStringLiteral(
               "(CASE WHEN (%1) IS NULL THEN 'ela não tem um candidato cadastrado' "
               "WHEN (%7) IS NOT (%3) OR (%8) IS NOT (%5) THEN 'o cargo e o partido de uma linha do mapa "
               "são os do seu candidato, \"' || coalesce(%2, '') || '\": cargo \"' || coalesce(%4, '') || "
               "'\", partido \"' || coalesce(%6, '') || '\"' END)")
        .arg(idCandidato, candidato, idCargo, cargo, idPartido, partido, cargoDaLinha, partidoDaLinha);
}

QStringList gatilhosDaEleicao()
{
    // recusa_gravacao(texto) fails the statement with the text: the engine's RAISE
    // takes a fixed text only, and the refusal names the candidate.
    const auto gatilho = [](const QString &nome, const QString &quando, const QString &corpo) {
        return QStringLiteral("CREATE TEMP TRIGGER IF NOT EXISTS %1 %2 BEGIN %3; END")
            .arg(nome, quando, corpo);
    };
    const QString candidatoNovo = motivoNaoVotavel(
        QStringLiteral("NEW.numero_candidato"), QStringLiteral("g.numcad_cargo"), QStringLiteral("g.cargo"),
        QStringLiteral("g.quantidade_numeros"), QStringLiteral("p.numcad_partido"),
        QStringLiteral("p.partido"), QStringLiteral("p.legenda"));
    const QString recusaCandidato =
        QStringLiteral("SELECT recusa_gravacao('O candidato \"' || coalesce(NEW.nome_candidato, '') || "
                       "'\" não pode receber votos: ' || m || '.') FROM (SELECT %1 AS m FROM (SELECT 1) "
                       "LEFT JOIN main.cargo g ON g.numcad_cargo = NEW.id_cargo "
                       "LEFT JOIN main.partido p ON p.numcad_partido = NEW.id_partido) WHERE m IS NOT NULL")
            .arg(candidatoNovo);

    // A change of the office's digit count or of the party's legend is refused only
    // for a candidate it would take the votes from: one already unreachable stays as found.
    const auto comCargo = [](const QString &prefixo) {
        return motivoNaoVotavel(
            QStringLiteral("c.numero_candidato"), prefixo + QStringLiteral(".numcad_cargo"),
            prefixo + QStringLiteral(".cargo"), prefixo + QStringLiteral(".quantidade_numeros"),
            QStringLiteral("p.numcad_partido"), QStringLiteral("p.partido"), QStringLiteral("p.legenda"));
    };
    const auto comPartido = [](const QString &prefixo) {
        return motivoNaoVotavel(QStringLiteral("c.numero_candidato"), QStringLiteral("g.numcad_cargo"),
                                QStringLiteral("g.cargo"), QStringLiteral("g.quantidade_numeros"),
                                prefixo + QStringLiteral(".numcad_partido"),
                                prefixo + QStringLiteral(".partido"), prefixo + QStringLiteral(".legenda"));
    };
    const QString linhaNova = motivoLinhaIncompleta(
        QStringLiteral("c.numcad_candidato"), QStringLiteral("c.nome_candidato"),
        QStringLiteral("c.id_cargo"), QStringLiteral("g.cargo"), QStringLiteral("c.id_partido"),
        QStringLiteral("p.partido"), QStringLiteral("NEW.id_cargo"), QStringLiteral("NEW.id_partido"));
    const QString recusaLinha =
        QStringLiteral(
            "SELECT recusa_gravacao('A linha do mapa de votação não pode ser gravada: ' || m || '.') "
            "FROM (SELECT %1 AS m FROM (SELECT 1) "
            "LEFT JOIN main.candidatos c ON c.numcad_candidato = NEW.id_candidato "
            "LEFT JOIN main.cargo g ON g.numcad_cargo = c.id_cargo "
            "LEFT JOIN main.partido p ON p.numcad_partido = c.id_partido) WHERE m IS NOT NULL")
            .arg(linhaNova);

    return {
        gatilho(QStringLiteral("votavel_novo"), QStringLiteral("BEFORE INSERT ON main.candidatos"),
                recusaCandidato),
        gatilho(QStringLiteral("votavel_alterado"),
                QStringLiteral("BEFORE UPDATE OF numero_candidato, id_cargo, id_partido ON main.candidatos "
                               "WHEN NEW.numero_candidato IS NOT OLD.numero_candidato OR "
                               "NEW.id_cargo IS NOT OLD.id_cargo OR NEW.id_partido IS NOT OLD.id_partido"),
                recusaCandidato),
        gatilho(QStringLiteral("votavel_digitos"),
                QStringLiteral("BEFORE UPDATE OF quantidade_numeros ON main.cargo "
                               "WHEN NEW.quantidade_numeros IS NOT OLD.quantidade_numeros"),
                QStringLiteral(
                    "SELECT recusa_gravacao('O cargo \"' || coalesce(NEW.cargo, '') || "
                    "'\" não pode passar a ter ' || coalesce(NEW.quantidade_numeros, '') || "
                    "' dígitos: o candidato \"' || coalesce(nome, '') || "
                    "'\" deixaria de poder receber votos, pois ' || depois || '.') "
                    "FROM (SELECT c.nome_candidato AS nome, %1 AS depois, %2 AS antes "
                    "FROM main.candidatos c LEFT JOIN main.partido p ON p.numcad_partido = c.id_partido "
                    "WHERE c.id_cargo = OLD.numcad_cargo ORDER BY c.numcad_candidato) "
                    "WHERE depois IS NOT NULL AND antes IS NULL LIMIT 1")
                    .arg(comCargo(QStringLiteral("NEW")), comCargo(QStringLiteral("OLD")))),
        gatilho(
            QStringLiteral("votavel_legenda"),
            QStringLiteral("BEFORE UPDATE OF legenda ON main.partido WHEN NEW.legenda IS NOT OLD.legenda"),
            QStringLiteral(
                "SELECT recusa_gravacao('A legenda do partido \"' || coalesce(NEW.partido, '') || "
                "'\" não pode ' || CASE WHEN coalesce(NEW.legenda, '') = '' THEN 'ficar vazia' "
                "ELSE 'passar a ser ' || NEW.legenda END || ': o candidato \"' || coalesce(nome, '') || "
                "'\" deixaria de poder receber votos, pois ' || depois || '.') "
                "FROM (SELECT c.nome_candidato AS nome, %1 AS depois, %2 AS antes "
                "FROM main.candidatos c LEFT JOIN main.cargo g ON g.numcad_cargo = c.id_cargo "
                "WHERE c.id_partido = OLD.numcad_partido ORDER BY c.numcad_candidato) "
                "WHERE depois IS NOT NULL AND antes IS NULL LIMIT 1")
                .arg(comPartido(QStringLiteral("NEW")), comPartido(QStringLiteral("OLD")))),
        // The map row keeps naming the candidate's own office and party.
        gatilho(
            QStringLiteral("mapa_candidato_fixo"),
            QStringLiteral(
                "BEFORE UPDATE OF id_cargo, id_partido ON main.candidatos "
                "WHEN (NEW.id_cargo IS NOT OLD.id_cargo OR NEW.id_partido IS NOT OLD.id_partido) AND "
                "EXISTS (SELECT 1 FROM main.candidatos_votacao WHERE id_candidato = OLD.numcad_candidato)"),
            QStringLiteral(
                "SELECT recusa_gravacao('O cargo e o partido do candidato \"' || "
                "coalesce(OLD.nome_candidato, '') || '\" não podem mudar: ele está no mapa de "
                "votação ' || (SELECT CASE WHEN count(*) = 1 THEN 'do dia ' ELSE 'dos dias ' END || "
                "group_concat(d, ', ') FROM (SELECT coalesce(strftime('%d/%m/%Y', data_votacao), "
                "'sem data') AS d FROM main.candidatos_votacao WHERE id_candidato = "
                "OLD.numcad_candidato GROUP BY data_votacao ORDER BY data_votacao)) || '.')")),
        gatilho(QStringLiteral("mapa_linha_nova"), QStringLiteral("BEFORE INSERT ON main.candidatos_votacao"),
                recusaLinha),
        gatilho(QStringLiteral("mapa_linha_alterada"),
                QStringLiteral(
                    "BEFORE UPDATE OF id_candidato, id_cargo, id_partido ON main.candidatos_votacao "
                    "WHEN NEW.id_candidato IS NOT OLD.id_candidato OR NEW.id_cargo IS NOT OLD.id_cargo "
                    "OR NEW.id_partido IS NOT OLD.id_partido"),
                recusaLinha),
    };
}

void protegeEleicao(Database &db)
{
    const auto recusa = [](sqlite3_context *contexto, int, sqlite3_value **valores) {
        const auto *texto = reinterpret_cast<const char *>(sqlite3_value_text(valores[0]));
        sqlite3_result_error(contexto, texto ? texto : "Gravação recusada", -1);
    };
    const int rc = sqlite3_create_function_v2(db.handle(), "recusa_gravacao", 1, SQLITE_UTF8, nullptr, recusa,
                                              nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) db.raise(rc);
    // One script: each statement that creates something makes the connection forget
    // its prepared texts, so once is enough.
    db.execScript(gatilhosDaEleicao().join(QStringLiteral(";\n")));
}

void prepara(Database &db)
{
    db.setMessageTranslator(traduzMensagem);
    db.setOpenCheck(verificaTabelas);
}

void verificaTabelas(Database &db)
{
    QStringList nomes;
    for (const Tabela &t : tabelas()) nomes << QStringLiteral("'%1'").arg(QLatin1String(t.nome));
    Statement existentes(db, QStringLiteral("select count(*) from sqlite_master where type='table' and name in (%1)")
                                 .arg(nomes.join(u',')));
    if (!existentes.step() || existentes.column(0).toInt() != int(nomes.size()))
        throw DbError(QStringLiteral("O arquivo %1 não contém as tabelas da eleição").arg(db.fileName()));
    // Tables of the right names with other columns would fail only later, after the
    // file had been changed; more columns than ours are allowed.
    QSet<QString> presentes;
    Statement colunas(db, QStringLiteral("select m.name || '.' || c.name from sqlite_master m, "
                                         "pragma_table_info(m.name) c where m.type = 'table'"));
    while (colunas.step()) presentes.insert(colunas.column(0).toString());
    for (const Tabela &t : tabelas())
        for (const Coluna &c : t.colunas)
            if (!presentes.contains(QLatin1String(t.nome) + u'.' + QLatin1String(c.nome)))
                throw DbError(QStringLiteral("O arquivo %1 não contém a coluna %2 da tabela %3")
                                  .arg(db.fileName(), QLatin1String(c.nome), QLatin1String(t.nome)));
}

QString traduzMensagem(const QString &m)
{
    static const QString check = QStringLiteral("CHECK constraint failed: ");
    static const QString unique = QStringLiteral("UNIQUE constraint failed: ");
    static const QString notNull = QStringLiteral("NOT NULL constraint failed: ");
    if (m.startsWith(check)) return m.mid(check.size());
    if (m.startsWith(unique)) {
        const QString cols = m.mid(unique.size());
        for (const Unica &u : kUnicas)
            if (cols == QLatin1String(u.colunasNaMensagem)) return QString::fromUtf8(u.mensagem);
        return QStringLiteral("Registro duplicado: %1").arg(cols);
    }
    if (m.startsWith(notNull)) {
        const QString col = m.mid(notNull.size()).section(u'.', -1);
        return QStringLiteral("O campo %1 não pode ficar vazio").arg(col);
    }
    if (m == QLatin1String("database is locked"))
        return QStringLiteral("O banco de dados está em uso por outro processo");
    if (m.startsWith(QLatin1String("database table is locked")) ||
        m.startsWith(QLatin1String("database schema is locked")))
        return QStringLiteral("O banco de dados está bloqueado por outra operação em andamento");
    if (m == QLatin1String("file is not a database") || m == QLatin1String("database disk image is malformed") ||
        m.startsWith(QLatin1String("malformed database schema")))
        return QStringLiteral("O arquivo do banco de dados está danificado");
    // What the disk and the file system can refuse, as the engine words it.
    if (m == QLatin1String("database or disk is full"))
        return QStringLiteral("O disco está cheio: não foi possível gravar no banco de dados");
    if (m == QLatin1String("attempt to write a readonly database"))
        return QStringLiteral("O banco de dados ou a sua pasta é somente leitura: não foi possível gravar");
    if (m == QLatin1String("disk I/O error"))
        return QStringLiteral("Erro de leitura ou gravação no disco do banco de dados");
    if (m == QLatin1String("unable to open database file"))
        return QStringLiteral("Não foi possível abrir o arquivo do banco de dados");
    if (m == QLatin1String("access permission denied"))
        return QStringLiteral("Sem permissão de acesso ao banco de dados");
    if (m == QLatin1String("out of memory")) return QStringLiteral("Memória insuficiente");
    if (m.startsWith(QLatin1String("no such table: ")))
        return QStringLiteral("Tabela inexistente: %1").arg(m.mid(15));
    if (m.startsWith(QLatin1String("no such column: ")))
        return QStringLiteral("Coluna inexistente: %1").arg(m.mid(16));
    return m;
}

} // namespace Esquema
