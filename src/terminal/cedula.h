#pragma once

// The ballot of the office on screen, apart from any widget: the digits keyed, the
// verdict of the lookups after each digit (the status mark and the heading), the
// candidate or party found with the keys CONFIRMA stores, and the vote record itself.
// The terminal window shows this state; the spoken guidance tells it.

#include <QImage>
#include <QObject>
#include <QString>
#include <QVariantList>

class Database;

class Cedula : public QObject
{
    Q_OBJECT
public:
    // The status mark: what CONFIRMA stores when the number is not a candidate shown.
    enum class Marca { Nenhuma, Legenda, Nulo, Branco };
    // Where the terminal is: before any office (an empty order), an office on screen,
    // or the end of a cycle ("FIM").
    enum class Fase { SemCargo, Cargo, Fim };
    // What just happened to the ballot, in the order it happens.
    enum class Evento {
        Cargo,                // an office prepared
        Corrigido,            // the office started over by CORRIGE
        Digito,               // a digit placed
        Candidato,            // the number is a candidate of the office: name, party, photo
        Legenda,              // the first two digits are a party's legend: the party
        NumeroErrado,         // no such candidate or legend: a null vote
        CandidatoInexistente, // complete, no candidate, the legend stands
        Branco,               // blank vote chosen
        Confirmado,           // the vote stored
        Fim,                  // the cycle is over
        SemEfeito             // a key that did nothing
    };
    Q_ENUM(Evento)

    static const QString kNumeroErrado, kCandidatoInexistente;
    static const QString kMarcaLegenda, kMarcaNulo, kMarcaBranco;

    explicit Cedula(Database &db, QObject *parent = nullptr);

    // The office at the order cursor: its name, key and digit count; a count outside
    // 1 to 5 (or none) gives no box, and then only a blank vote can be cast there.
    void prepara_cargo(const QString &cargo, const QString &idCargo, qint64 quantidade,
                       Evento motivo = Evento::Cargo);
    // The end of the cycle: no office until the next is prepared.
    void encerra_ciclo();

    // Places a digit in the next empty box and checks the number; false when the key
    // places nothing (no office, no empty box, a wrong number or a blank vote).
    bool digita_tecla(const QString &digito);
    QString numero_digitado() const { return m_digitos; }
    void valida_numero();
    bool existe_numero(bool legenda, bool candidato);
    void sinaliza_voto(bool numero_errado, bool voto_legenda, bool candidato_inexistente, bool limpa);
    // False when the lookup finds no row (a candidate whose party is gone).
    bool mostra_dados_voto(bool legenda);

    // BRANCO acts only with an office on screen, no digit keyed and no blank chosen yet.
    bool podeBranco() const;
    bool branco();
    // CONFIRMA acts only when the ballot stands for a vote that can be stored.
    bool podeConfirmar() const;
    // The seven values of the vote record, in the order of the insert statement.
    QVariantList registro() const;
    // Stores the vote (one durable insert); throws, and keeps the ballot, when refused.
    void grava();
    // Tells the listeners of a key that did nothing.
    void semEfeito() { emit evento(Evento::SemEfeito); }

    Fase fase() const { return m_fase; }
    QString cargo() const { return m_cargo; }
    QString idCargo() const { return m_idCargo; }
    int qtd_digitos() const { return m_qtd; }
    Marca marca() const { return m_marca; }
    // The text of the status mark: empty, "(Voto de legenda)", "(Voto nulo)" or "(Voto em branco)".
    QString textoMarca() const;
    // How many times a mark has been set: each time it shows at once (a blank waits for the blink).
    int sinalizacoes() const { return m_sinalizacoes; }
    // The office heading: the office's name, "NÚMERO ERRADO" or "CANDIDATO INEXISTENTE".
    QString titulo() const { return m_titulo; }
    bool mostraNome() const { return m_mostraNome; }
    bool mostraPartido() const { return m_mostraPartido; }
    QString nome() const { return m_nome; }
    QString partido() const { return m_partido; }
    const QImage &foto() const { return m_foto; }

    // Keys found by the last lookups, as texts of at most 7 characters.
    QString candidato_atual, partido_atual, cargo_atual, partido_legenda;

signals:
    void evento(Cedula::Evento e);

private:
    QString legendaDigitada() const { return m_digitos.left(2); }

    Database &m_db;
    Fase m_fase = Fase::SemCargo;
    QString m_cargo, m_idCargo;
    int m_qtd = 0;
    QString m_digitos;
    Marca m_marca = Marca::Nenhuma;
    int m_sinalizacoes = 0;
    QString m_titulo;
    bool m_mostraNome = false, m_mostraPartido = false;
    QString m_nome, m_partido;
    QImage m_foto;
};
