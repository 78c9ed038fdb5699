#pragma once

// The spoken guidance of the terminal, for a voter who cannot see the screen: it
// listens to the ballot and tells, in Portuguese, the office, each digit, the outcome
// of each lookup, the blank vote, the correction, the confirmation and the end; every
// key gets an answer. What one key causes is said as one utterance, when the key's
// handler is over.

#include "terminal/cedula.h"

#include <QObject>
#include <QStringList>
#include <memory>

class SaidaFala;

class GuiaVoz : public QObject
{
    Q_OBJECT
public:
    GuiaVoz(Cedula *cedula, std::unique_ptr<SaidaFala> saida, QObject *parent = nullptr);
    ~GuiaVoz() override;

    // What a key of the computer's keyboard does while the guidance is on: the digits
    // of both rows, Enter (CONFIRMA), Backspace (CORRIGE) and the numeric keypad's "*"
    // (BRANCO), ".", "+" and "-"; a modifier held for another key does nothing of its own.
    enum class Acao { Nenhuma, Digito, Confirma, Corrige, Branco, Repete, MaisRapido, MaisDevagar, SemEfeito };
    static Acao acaoDaTecla(int tecla, bool doTecladoNumerico);

    // The numeric keypad's ".": where the voter is.
    void repete();
    // The numeric keypad's "+" and "-": faster or slower speech, in steps.
    void maisRapido();
    void maisDevagar();
    double velocidade() const { return m_velocidade; }

    static const QString kSemEfeito;
    static constexpr double kPasso = 0.25;

private:
    void ouve(Cedula::Evento e);
    void fala();
    void acrescenta(const QString &texto);
    QString anuncioDoCargo() const;
    // The outcome of the number keyed, as the screen shows it; empty while there is none.
    QString resultado() const;

    Cedula *m_cedula;
    std::unique_ptr<SaidaFala> m_saida;
    QStringList m_partes;
    bool m_ultimaFoiDigito = false;
    double m_velocidade = 0;
};
