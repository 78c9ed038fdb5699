#pragma once

// Where the spoken guidance goes: a speech engine through Qt's text-to-speech, or a
// file of one line per utterance (to check the guidance without sound). Each
// utterance replaces the one still being said.

#include <QString>
#include <memory>

class SaidaFala
{
public:
    virtual ~SaidaFala() = default;
    virtual void diz(const QString &texto) = 0;
    // Speech rate from -1 (slowest) through 0 (normal) to 1 (fastest).
    virtual void defineVelocidade(double velocidade) = 0;
};

// Appends each utterance to a file as a line, flushed as it is said.
class FalaArquivo : public SaidaFala
{
public:
    // Throws nothing: a file that cannot be opened leaves motivo() filled.
    explicit FalaArquivo(const QString &caminho);
    ~FalaArquivo() override;
    QString motivo() const { return m_motivo; }
    void diz(const QString &texto) override;
    void defineVelocidade(double) override {}

private:
    int m_fd = -1;
    QString m_caminho, m_motivo;
};

// The backend the command line asks for: "--fala" a speech engine, "--fala=arquivo:CAMINHO"
// the file. Null, with the reason in Portuguese, when it cannot be had.
std::unique_ptr<SaidaFala> criaSaidaFala(const QString &opcao, QString *motivo);
