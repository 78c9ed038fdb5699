// "novo" and "exemplo": a new election database, empty or filled with a demo
// election (offices, parties, candidates with drawn photos and today's voting map).
// Neither ever replaces an existing file.

#include "comandos.h"

#include "data/conferencia.h"
#include "data/database.h"
#include "data/esquema.h"
#include "data/query.h"

#include <QBuffer>
#include <QColor>
#include <QDate>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QSet>
#include <QVector>

#include <iterator>

namespace
{

// Same sequence on every run and every platform, so the demo never changes.
class Sorteio
{
  public:
    explicit Sorteio(quint64 semente) : m_estado(semente) {}
    quint64 proximo()
    {
        quint64 z = (m_estado += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    int ate(int n) { return int(proximo() % quint64(n)); } // 0 .. n-1
    int entre(int min, int max) { return min + ate(max - min + 1); }
    bool chance(int porCento) { return ate(100) < porCento; }
    template <typename T> const T &escolhe(const QVector<T> &v) { return v[ate(int(v.size()))]; }
    template <typename T> void embaralha(QVector<T> &v)
    {
        for (qsizetype i = v.size() - 1; i > 0; --i)
            std::swap(v[i], v[ate(int(i + 1))]);
    }

  private:
    quint64 m_estado;
};

struct Cargo {
    const char *nome;
    int digitos;
    int posicao; // in the voting order
    int candidatos;
};

// Listed as registered; the voter meets them in the order of "posicao".
const Cargo kCargos[] = {
    {"Presidente", 2, 5, 4},       {"Governador", 2, 4, 5},         {"Senador", 3, 3, 6},
    {"Deputado Federal", 4, 1, 9}, {"Deputado Estadual", 5, 2, 10}, {"Conselheiro Tutelar", 1, 6, 6},
};

struct Partido {
    const char *nome;
    const char *legenda;
};

const Partido kPartidos[] = {
    {"Partido da Integração Cidadã", "24"},
    {"Movimento Horizonte Brasileiro", "31"},
    {"Partido Popular do Cerrado", "37"},
    {"União dos Trabalhadores do Campo e da Cidade", "42"},
    {"Partido Federalista dos Municípios", "48"},
    {"Frente Litorânea Democrática", "53"},
    {"Partido Ciência e Trabalho", "57"},
    {"Partido Progresso e Cooperação", "62"},
    {"Coletivo Ipê Amarelo", "68"},
    {"Partido Social Ribeirinho", "74"},
};

// Each first name is used once, so there must be at least as many as candidates.
const char *const kNomesFemininos[] = {
    "Ana Beatriz", "Mariana",   "Fernanda", "Juliana",   "Patrícia", "Camila",   "Renata",    "Adriana",
    "Cláudia",     "Sônia",     "Raimunda", "Vanessa",   "Débora",   "Aline",    "Rosângela", "Helena",
    "Lúcia",       "Jaqueline", "Tatiana",  "Cristiane", "Priscila", "Gabriela", "Luana",     "Elaine",
};

const char *const kNomesMasculinos[] = {
    "João Carlos", "José Antônio", "Francisco", "Antônio",     "Carlos Eduardo", "Marcos",
    "Ricardo",     "Rafael",       "Sebastião", "Raimundo",    "Gilberto",       "Edson",
    "Fábio",       "Rodrigo",      "Sérgio",    "Wellington",  "Valdir",         "Otávio",
    "Leonardo",    "Anderson",     "Márcio",    "Júlio César", "Roberto",        "Severino",
};

const char *const kSobrenomes[] = {
    "Silva",    "Santos",     "Oliveira", "Souza",    "Pereira",     "Costa",      "Rodrigues",
    "Almeida",  "Nascimento", "Lima",     "Araújo",   "Fernandes",   "Carvalho",   "Gomes",
    "Martins",  "Rocha",      "Ribeiro",  "Barbosa",  "Cavalcanti",  "Moreira",    "Teixeira",
    "Mendes",   "Freitas",    "Monteiro", "Cardoso",  "Batista",     "Dias",       "Correia",
    "Pinheiro", "Queiroz",    "Brandão",  "Siqueira", "Albuquerque", "Figueiredo", "Tavares",
};

// ---- Photos

struct Aparencia {
    bool feminino;
    QColor fundo, pele, cabelo, roupa;
    bool terno, oculos, barba, calvo, cabeloLongo;
};

Aparencia sorteiaAparencia(Sorteio &s, bool feminino)
{
    static const QVector<QColor> fundos = {QColor(0xb9, 0xcf, 0xe4), QColor(0xcf, 0xd4, 0xda),
                                           QColor(0xc8, 0xdd, 0xc4), QColor(0xe6, 0xdb, 0xc4),
                                           QColor(0xd9, 0xc9, 0xde), QColor(0xa9, 0xc4, 0xcc)};
    static const QVector<QColor> peles = {QColor(0xf6, 0xd5, 0xbd), QColor(0xec, 0xbf, 0x9c),
                                          QColor(0xd8, 0xa3, 0x7c), QColor(0xbb, 0x84, 0x5c),
                                          QColor(0x96, 0x63, 0x42), QColor(0x6e, 0x47, 0x2e)};
    static const QVector<QColor> cabelos = {QColor(0x1d, 0x17, 0x14), QColor(0x3b, 0x28, 0x1c),
                                            QColor(0x5e, 0x3d, 0x24), QColor(0x8a, 0x5a, 0x2b),
                                            QColor(0xc9, 0xa0, 0x5a), QColor(0x7a, 0x35, 0x1e)};
    static const QVector<QColor> grisalhos = {QColor(0x9a, 0x9a, 0x98), QColor(0xcf, 0xcd, 0xc8)};
    static const QVector<QColor> roupas = {QColor(0x1f, 0x3a, 0x68), QColor(0x8c, 0x1d, 0x2a),
                                           QColor(0x2f, 0x6b, 0x3a), QColor(0x44, 0x44, 0x4c),
                                           QColor(0x6a, 0x3d, 0x8a), QColor(0xe0, 0xe0, 0xe6),
                                           QColor(0x2a, 0x84, 0xa8), QColor(0xc7, 0x7b, 0x22)};
    Aparencia a;
    a.feminino = feminino;
    a.fundo = s.escolhe(fundos);
    a.pele = s.escolhe(peles);
    a.cabelo = s.chance(20) ? s.escolhe(grisalhos) : s.escolhe(cabelos);
    a.roupa = s.escolhe(roupas);
    a.terno = s.chance(45);
    a.oculos = s.chance(30);
    a.barba = !feminino && s.chance(25);
    a.calvo = !feminino && s.chance(20);
    a.cabeloLongo = feminino && s.chance(75);
    return a;
}

// A head-and-shoulders portrait, as on a ballot screen.
QImage desenhaRetrato(const Aparencia &a)
{
    const int w = 105, h = 104;
    const double cx = w / 2.0;
    QImage img(w, h, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);

    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, a.fundo.lighter(112));
    g.setColorAt(1, a.fundo.darker(110));
    p.fillRect(img.rect(), g);

    const QColor sombraPele = a.pele.darker(118);

    // Long hair falls behind the shoulders and the face.
    if (a.cabeloLongo) {
        p.setBrush(a.cabelo);
        p.drawRoundedRect(QRectF(cx - 23, 22, 46, 62), 18, 18);
    }

    // Shoulders and clothes.
    p.setBrush(a.terno ? a.roupa.darker(160) : a.roupa);
    p.drawEllipse(QRectF(cx - 50, 76, 100, 70));
    p.setBrush(sombraPele);
    p.drawRect(QRectF(cx - 8, 58, 16, 22));
    if (a.terno) {
        QPainterPath camisa;
        camisa.moveTo(cx - 13, 77);
        camisa.lineTo(cx + 13, 77);
        camisa.lineTo(cx, 104);
        camisa.closeSubpath();
        p.setBrush(QColor(0xf4, 0xf4, 0xf2));
        p.drawPath(camisa);
        if (!a.feminino) {
            QPainterPath gravata;
            gravata.moveTo(cx - 3, 80);
            gravata.lineTo(cx + 3, 80);
            gravata.lineTo(cx + 4, 98);
            gravata.lineTo(cx, 104);
            gravata.lineTo(cx - 4, 98);
            gravata.closeSubpath();
            p.setBrush(a.roupa);
            p.drawPath(gravata);
        }
    } else {
        QPainterPath gola; // round neckline
        gola.moveTo(cx - 10, 77);
        gola.quadTo(cx, 90, cx + 10, 77);
        gola.closeSubpath();
        p.setBrush(sombraPele);
        p.drawPath(gola);
    }

    // Ears, head, then the hair on top.
    p.setBrush(a.pele.darker(108));
    p.drawEllipse(QRectF(cx - 21, 40, 7, 11));
    p.drawEllipse(QRectF(cx + 14, 40, 7, 11));
    p.setBrush(a.cabelo);
    if (a.calvo) // only a rim above the ears shows around the head
        p.drawEllipse(QRectF(cx - 18.5, 28, 37, 24));
    else
        p.drawEllipse(QRectF(cx - 19, 18, 38, 34));
    p.setBrush(a.pele);
    p.drawEllipse(QRectF(cx - 17, 25, 34, 42));
    if (!a.calvo) {
        QPainterPath franja;
        franja.moveTo(cx - 18, 38);
        franja.cubicTo(cx - 16, 20, cx + 16, 20, cx + 18, 38);
        franja.cubicTo(cx + 10, 30, cx - 4, 28, cx - 18, 38);
        p.setBrush(a.cabelo);
        p.drawPath(franja);
    }
    if (a.barba) {
        QPainterPath barba;
        barba.moveTo(cx - 16, 48);
        barba.cubicTo(cx - 14, 70, cx + 14, 70, cx + 16, 48);
        barba.cubicTo(cx + 10, 58, cx - 10, 58, cx - 16, 48);
        p.setBrush(a.cabelo);
        p.drawPath(barba);
    }

    // Face.
    const QColor olho(0x2a, 0x1e, 0x18);
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(cx - 10.5, 42, 7, 4));
    p.drawEllipse(QRectF(cx + 3.5, 42, 7, 4));
    p.setBrush(olho);
    p.drawEllipse(QRectF(cx - 8.5, 42.3, 3.4, 3.4));
    p.drawEllipse(QRectF(cx + 5.1, 42.3, 3.4, 3.4));
    p.setPen(QPen(a.cabelo.darker(120), 1.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(cx - 11, 39), QPointF(cx - 4, 38.2));
    p.drawLine(QPointF(cx + 4, 38.2), QPointF(cx + 11, 39));
    p.setPen(QPen(sombraPele.darker(110), 1.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(cx, 46), QPointF(cx - 1.5, 52));
    p.drawLine(QPointF(cx - 1.5, 52), QPointF(cx + 1, 52.5));
    p.setPen(QPen(QColor(0x9b, 0x3b, 0x3b), 1.6, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(cx - 6, 52, 12, 5), 200 * 16, 140 * 16);
    if (a.oculos) {
        p.setPen(QPen(QColor(0x22, 0x22, 0x22), 1.3));
        p.drawRoundedRect(QRectF(cx - 13, 40, 11, 8), 2.5, 2.5);
        p.drawRoundedRect(QRectF(cx + 2, 40, 11, 8), 2.5, 2.5);
        p.drawLine(QPointF(cx - 2, 43), QPointF(cx + 2, 43));
    }
    p.end();
    return img;
}

QByteArray fotoBmp(const QImage &img)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !img.save(&buffer, "BMP") || bytes.isEmpty())
        throw DbError(QStringLiteral("Não foi possível gerar a foto de um candidato (BMP)"));
    return bytes;
}

// ---- Demo election

struct Pessoa {
    QString nome;
    bool feminino;
};

// Distinct people: each first name once, with two different surnames.
QVector<Pessoa> sorteiaPessoas(Sorteio &s, int quantas)
{
    QVector<Pessoa> primeiros;
    for (const char *n : kNomesFemininos)
        primeiros.append({QString::fromUtf8(n), true});
    for (const char *n : kNomesMasculinos)
        primeiros.append({QString::fromUtf8(n), false});
    if (primeiros.size() < quantas)
        throw DbError(QStringLiteral("Faltam nomes para os candidatos de exemplo"));
    s.embaralha(primeiros);
    primeiros.resize(quantas);
    for (Pessoa &p : primeiros) {
        const int a = s.ate(int(std::size(kSobrenomes)));
        int b = s.ate(int(std::size(kSobrenomes)) - 1);
        if (b >= a) ++b;
        p.nome += u' ' + QString::fromUtf8(kSobrenomes[a]) + u' ' + QString::fromUtf8(kSobrenomes[b]);
    }
    return primeiros;
}

qint64 insere(Database &db, Query &q) // the new row's autonumber
{
    if (q.execSql() != 1) throw DbError(QStringLiteral("Falha ao inserir um registro de exemplo"));
    return db.lastInsertRowid();
}

void preencheExemplo(Database &db, const QDate &dia)
{
    Sorteio s(0x566f746172696dULL);
    // The demo is an election the operator could have made in the window: the same
    // guards, and the check before the day finds nothing.
    Esquema::protegeEleicao(db);
    Transaction transacao(db);
    {
        Query q(db);

        q.setSql(
            QStringLiteral("insert into cargo (cargo, quantidade_numeros) values (:cargo, :quantidade)"));
        QVector<qint64> idCargo;
        for (const Cargo &c : kCargos) {
            q.setParam(QStringLiteral("cargo"), QString::fromUtf8(c.nome));
            q.setParam(QStringLiteral("quantidade"), c.digitos);
            idCargo.append(insere(db, q));
        }

        q.setSql(
            QStringLiteral("insert into ordem_votacao (ordem_votacao, id_cargo) values (:posicao, :cargo)"));
        for (qsizetype i = 0; i < idCargo.size(); ++i) {
            q.setParam(QStringLiteral("posicao"), kCargos[i].posicao);
            q.setParam(QStringLiteral("cargo"), idCargo[i]);
            insere(db, q);
        }

        q.setSql(QStringLiteral("insert into partido (partido, legenda) values (:partido, :legenda)"));
        QVector<qint64> idPartido;
        for (const Partido &p : kPartidos) {
            q.setParam(QStringLiteral("partido"), QString::fromUtf8(p.nome));
            q.setParam(QStringLiteral("legenda"), QString::fromLatin1(p.legenda));
            idPartido.append(insere(db, q));
        }

        int total = 0;
        for (const Cargo &c : kCargos)
            total += c.candidatos;
        const QVector<Pessoa> pessoas = sorteiaPessoas(s, total);

        Query mapa(db);
        mapa.setSql(QStringLiteral(
            "insert into candidatos_votacao (id_candidato, id_cargo, id_partido, data_votacao) "
            "values (:candidato, :cargo, :partido, :dia)"));
        q.setSql(QStringLiteral(
            "insert into candidatos (nome_candidato, numero_candidato, id_partido, id_cargo, foto) "
            "values (:nome, :numero, :partido, :cargo, :foto)"));
        int proxima = 0;
        for (qsizetype ci = 0; ci < idCargo.size(); ++ci) {
            const Cargo &c = kCargos[ci];
            // Two-digit offices take the legend itself: one candidate per party.
            QVector<int> partidos;
            for (int i = 0; i < int(std::size(kPartidos)); ++i)
                partidos.append(i);
            s.embaralha(partidos);
            QVector<int> unicos; // one-digit numbers, drawn without repetition
            for (int i = 1; i <= 9; ++i)
                unicos.append(i);
            s.embaralha(unicos);
            QSet<QString> numeros;
            for (int k = 0; k < c.candidatos; ++k) {
                const int pi = c.digitos == 2 ? partidos[k] : s.ate(int(std::size(kPartidos)));
                const QString legenda = QString::fromLatin1(kPartidos[pi].legenda);
                QString numero;
                if (c.digitos == 1) {
                    numero = QString::number(unicos[k]);
                } else if (c.digitos == 2) {
                    numero = legenda;
                } else {
                    int limite = 1;
                    for (int d = 2; d < c.digitos; ++d)
                        limite *= 10;
                    do {
                        numero = legenda + QStringLiteral("%1").arg(s.entre(1, limite - 1), c.digitos - 2, 10,
                                                                    QLatin1Char('0'));
                    } while (numeros.contains(numero));
                }
                numeros.insert(numero);

                const Pessoa &pessoa = pessoas[proxima++];
                q.setParam(QStringLiteral("nome"), pessoa.nome);
                q.setParam(QStringLiteral("numero"), numero);
                q.setParam(QStringLiteral("partido"), idPartido[pi]);
                q.setParam(QStringLiteral("cargo"), idCargo[ci]);
                q.setParam(QStringLiteral("foto"),
                           fotoBmp(desenhaRetrato(sorteiaAparencia(s, pessoa.feminino))));
                const qint64 idCandidato = insere(db, q);

                mapa.setParam(QStringLiteral("candidato"), idCandidato);
                mapa.setParam(QStringLiteral("cargo"), idCargo[ci]);
                mapa.setParam(QStringLiteral("partido"), idPartido[pi]);
                mapa.setParam(QStringLiteral("dia"), dia);
                insere(db, mapa);
            }
        }
    }
    const QStringList achados = Conferencia::achadosDoDia(db, dia);
    if (!achados.isEmpty())
        throw DbError(QStringLiteral("A eleição de demonstração não passa na conferência do dia:\n%1")
                          .arg(achados.join(u'\n')));
    transacao.commit();
}
// novo and exemplo take one argument, the new file.
int criaBanco(const QStringList &argumentos, bool comExemplo)
{
    if (argumentos.size() != 1 || argumentos[0].isEmpty()) {
        Banco::escreveUso(stderr);
        return Banco::kSaidaUso;
    }
    const QString arquivo = argumentos[0];
    try {
        if (!comExemplo)
            Esquema::criaBanco(arquivo);
        else
            Esquema::criaBanco(arquivo, [](Database &db) { preencheExemplo(db, QDate::currentDate()); });
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    const QByteArray linha = QStringLiteral("Banco criado: %1\n").arg(arquivo).toUtf8();
    if (std::fputs(linha.constData(), stdout) < 0 || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "O banco foi criado, mas não foi possível escrever a mensagem de conclusão\n");
        return 1;
    }
    return 0;
}

} // namespace

int Banco::novo(const QStringList &argumentos)
{
    return criaBanco(argumentos, false);
}

int Banco::exemplo(const QStringList &argumentos)
{
    return criaBanco(argumentos, true);
}
