#pragma once
// A terminal's Ed25519 key pair, the signature of a bulletin and its verification,
// through OpenSSL's libcrypto. Every failure is a std::runtime_error whose message
// is the Portuguese sentence to show.

#include <QByteArray>
#include <QString>

#include <memory>

typedef struct evp_pkey_st EVP_PKEY;

namespace Apuracao
{

// One loaded key, private or public; released with it.
class ChaveAssinatura
{
public:
    ChaveAssinatura() = default;
    explicit ChaveAssinatura(EVP_PKEY *chave);
    EVP_PKEY *get() const { return m_chave.get(); }
    bool valida() const { return m_chave != nullptr; }

private:
    struct Libera {
        void operator()(EVP_PKEY *chave) const;
    };
    std::unique_ptr<EVP_PKEY, Libera> m_chave;
};

// Creates DIR/N.key (the private key, PEM, mode 0600) and DIR/N.pub (the public key, PEM).
// Refused, with nothing written, when either file already exists.
void criaChaves(const QString &pasta, const QString &terminal);

// The private key of a terminal. Refused when the file is not a regular file of its own
// (a link, a FIFO) or when its mode lets other users read it.
ChaveAssinatura lePrivada(const QString &caminho);
// The public key of a terminal, PEM.
ChaveAssinatura lePublica(const QString &caminho);

// The 64-byte Ed25519 signature of the bytes.
QByteArray assina(const ChaveAssinatura &privada, const QByteArray &dados);
bool confere(const ChaveAssinatura &publica, const QByteArray &dados, const QByteArray &assinatura);

// The SHA-256 of the bytes in lower-case hexadecimal, and its 32 bytes.
QString sha256(const QByteArray &dados);
QByteArray sha256Bruto(const QByteArray &dados);

} // namespace Apuracao
