#include "apuracao/assinatura.h"
#include "apuracao/arquivoseguro.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>

namespace Apuracao
{

namespace
{
[[noreturn]] void falha(const QString &mensagem)
{
    throw std::runtime_error(mensagem.toStdString());
}

struct LiberaBio {
    void operator()(BIO *b) const { BIO_free(b); }
};
using Bio = std::unique_ptr<BIO, LiberaBio>;

QByteArray pem(EVP_PKEY *chave, bool privada)
{
    Bio bio(BIO_new(BIO_s_mem()));
    if (!bio) falha(QStringLiteral("Sem memória para a chave"));
    const int ok = privada ? PEM_write_bio_PrivateKey(bio.get(), chave, nullptr, nullptr, 0, nullptr, nullptr)
                           : PEM_write_bio_PUBKEY(bio.get(), chave);
    if (ok != 1) falha(QStringLiteral("Não foi possível escrever a chave"));
    char *dados = nullptr;
    const long n = BIO_get_mem_data(bio.get(), &dados);
    return QByteArray(dados, int(n));
}

ChaveAssinatura dePem(const QByteArray &texto, bool privada, const QString &caminho)
{
    Bio bio(BIO_new_mem_buf(texto.constData(), int(texto.size())));
    if (!bio) falha(QStringLiteral("Sem memória para a chave"));
    EVP_PKEY *chave = privada ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr)
                              : PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr);
    ChaveAssinatura c(chave);
    if (!c.valida() || EVP_PKEY_id(chave) != EVP_PKEY_ED25519)
        falha(QStringLiteral("%1 não é uma chave %2 Ed25519")
                  .arg(caminho, privada ? QStringLiteral("privada") : QStringLiteral("pública")));
    return c;
}

// Writes a new file with O_EXCL, so an existing key is never replaced.
void criaArquivo(const QString &caminho, const QByteArray &dados, mode_t modo)
{
    const QByteArray nome = QFile::encodeName(caminho);
    const int fd = ::open(nome.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, modo);
    if (fd < 0) falha(QStringLiteral("Não foi possível criar %1").arg(caminho));
    bool ok = ::fchmod(fd, modo) == 0;
    qsizetype escritos = 0;
    while (ok && escritos < dados.size()) {
        const ssize_t n = ::write(fd, dados.constData() + escritos, size_t(dados.size() - escritos));
        if (n <= 0) ok = false;
        else escritos += n;
    }
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
        ::unlink(nome.constData());
        falha(QStringLiteral("Não foi possível gravar %1").arg(caminho));
    }
}
} // namespace

ChaveAssinatura::ChaveAssinatura(EVP_PKEY *chave) : m_chave(chave) {}

void ChaveAssinatura::Libera::operator()(EVP_PKEY *chave) const
{
    EVP_PKEY_free(chave);
}

void criaChaves(const QString &pasta, const QString &terminal)
{
    const QString privada = QDir(pasta).filePath(terminal + QStringLiteral(".key"));
    const QString publica = QDir(pasta).filePath(terminal + QStringLiteral(".pub"));
    if (!QFileInfo(pasta).isDir()) falha(QStringLiteral("A pasta %1 não existe").arg(pasta));
    for (const QString &c : {privada, publica}) {
        struct stat st;
        if (::lstat(QFile::encodeName(c).constData(), &st) == 0)
            falha(QStringLiteral("%1 já existe: uma chave existente nunca é substituída").arg(c));
    }
    EVP_PKEY *gerada = nullptr;
    EVP_PKEY_CTX *ctx = EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr);
    const bool ok = ctx && EVP_PKEY_keygen_init(ctx) == 1 && EVP_PKEY_keygen(ctx, &gerada) == 1;
    EVP_PKEY_CTX_free(ctx);
    ChaveAssinatura chave(gerada);
    if (!ok || !chave.valida()) falha(QStringLiteral("Não foi possível gerar a chave do terminal"));
    criaArquivo(privada, pem(chave.get(), true), 0600);
    try {
        criaArquivo(publica, pem(chave.get(), false), 0644);
    } catch (...) {
        ::unlink(QFile::encodeName(privada).constData());
        throw;
    }
}

ChaveAssinatura lePrivada(const QString &caminho)
{
    const ArquivoLido lido = leArquivoRegular(caminho, 64 * 1024);
    if (lido.modo & 0077) falha(QStringLiteral("%1: chave privada acessível a outros usuários").arg(caminho));
    return dePem(lido.bytes, true, caminho);
}

ChaveAssinatura lePublica(const QString &caminho)
{
    return dePem(leArquivoRegular(caminho, 64 * 1024).bytes, false, caminho);
}

QByteArray assina(const ChaveAssinatura &privada, const QByteArray &dados)
{
    EVP_MD_CTX *ctx = EVP_MD_CTX_new();
    QByteArray assinatura(64, '\0');
    size_t tamanho = size_t(assinatura.size());
    const bool ok = ctx && EVP_DigestSignInit(ctx, nullptr, nullptr, nullptr, privada.get()) == 1 &&
                    EVP_DigestSign(ctx, reinterpret_cast<unsigned char *>(assinatura.data()), &tamanho,
                                   reinterpret_cast<const unsigned char *>(dados.constData()),
                                   size_t(dados.size())) == 1 &&
                    tamanho == 64;
    EVP_MD_CTX_free(ctx);
    if (!ok) falha(QStringLiteral("Não foi possível assinar o boletim"));
    return assinatura;
}

bool confere(const ChaveAssinatura &publica, const QByteArray &dados, const QByteArray &assinatura)
{
    if (assinatura.size() != 64 || !publica.valida()) return false;
    EVP_MD_CTX *ctx = EVP_MD_CTX_new();
    const bool ok = ctx && EVP_DigestVerifyInit(ctx, nullptr, nullptr, nullptr, publica.get()) == 1 &&
                    EVP_DigestVerify(ctx, reinterpret_cast<const unsigned char *>(assinatura.constData()),
                                     size_t(assinatura.size()),
                                     reinterpret_cast<const unsigned char *>(dados.constData()),
                                     size_t(dados.size())) == 1;
    EVP_MD_CTX_free(ctx);
    return ok;
}

QByteArray sha256Bruto(const QByteArray &dados)
{
    // libcrypto's digest uses the processor's SHA instructions where there are any.
    QByteArray resumo(32, '\0');
    unsigned int tamanho = 0;
    if (EVP_Digest(dados.constData(), size_t(dados.size()), reinterpret_cast<unsigned char *>(resumo.data()),
                   &tamanho, EVP_sha256(), nullptr) != 1 ||
        tamanho != 32)
        return QCryptographicHash::hash(dados, QCryptographicHash::Sha256);
    return resumo;
}

QString sha256(const QByteArray &dados)
{
    return QString::fromLatin1(sha256Bruto(dados).toHex());
}

} // namespace Apuracao
