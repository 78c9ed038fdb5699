#include "terminal/fala.h"

#include "data/arquivo.h"

#include <QFile>
#include <QLocale>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#ifdef VOTARIM_COM_VOZ
#include <QTextToSpeech>
#include <QVoice>
#endif

FalaArquivo::FalaArquivo(const QString &caminho) : m_caminho(caminho)
{
    // Appended, never truncated: one file may gather several runs.
    m_fd = ::open(QFile::encodeName(caminho).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0)
        m_motivo = QStringLiteral("não foi possível abrir o arquivo %1: %2").arg(caminho, Arquivo::motivo(errno));
}

FalaArquivo::~FalaArquivo()
{
    if (m_fd >= 0) ::close(m_fd);
}

void FalaArquivo::diz(const QString &texto)
{
    if (m_fd < 0) return;
    // One line per utterance, whatever the text holds; one write, so that a reader never sees half a line.
    QString linha = texto;
    linha.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    const QByteArray bytes = linha.toUtf8() + '\n';
    qsizetype escritos = 0;
    while (escritos < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.constData() + escritos, size_t(bytes.size() - escritos));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return; // the guidance is a help, never a reason to stop the terminal
        escritos += n;
    }
}

#ifdef VOTARIM_COM_VOZ
namespace
{

class FalaQt : public SaidaFala
{
public:
    explicit FalaQt(QTextToSpeech *voz) : m_voz(voz) {}
    void diz(const QString &texto) override
    {
        m_voz->stop();
        m_voz->say(texto);
    }
    void defineVelocidade(double velocidade) override { m_voz->setRate(velocidade); }

private:
    std::unique_ptr<QTextToSpeech> m_voz;
};

std::unique_ptr<SaidaFala> criaFalaQt(QString *motivo)
{
    if (QTextToSpeech::availableEngines().isEmpty()) {
        *motivo = QStringLiteral("nenhum mecanismo de fala instalado");
        return nullptr;
    }
    auto voz = std::make_unique<QTextToSpeech>();
    if (voz->state() == QTextToSpeech::Error) {
        *motivo = voz->errorString().isEmpty() ? QStringLiteral("o mecanismo de fala não respondeu")
                                               : voz->errorString();
        return nullptr;
    }
    QLocale portugues;
    bool achou = false;
    for (const QLocale &l : voz->availableLocales()) {
        if (l.language() != QLocale::Portuguese) continue;
        if (!achou || l.territory() == QLocale::Brazil) portugues = l;
        achou = true;
    }
    if (!achou) {
        *motivo = QStringLiteral("não há voz em português");
        return nullptr;
    }
    voz->setLocale(portugues);
    return std::make_unique<FalaQt>(voz.release());
}

} // namespace
#endif

std::unique_ptr<SaidaFala> criaSaidaFala(const QString &opcao, QString *motivo)
{
    static const QString kArquivo = QStringLiteral("--fala=arquivo:");
    if (opcao.startsWith(kArquivo)) {
        const QString caminho = opcao.mid(kArquivo.size());
        if (caminho.isEmpty()) {
            *motivo = QStringLiteral("falta o caminho do arquivo em --fala=arquivo:CAMINHO");
            return nullptr;
        }
        auto arquivo = std::make_unique<FalaArquivo>(caminho);
        if (!arquivo->motivo().isEmpty()) {
            *motivo = arquivo->motivo();
            return nullptr;
        }
        return arquivo;
    }
    if (opcao != QLatin1String("--fala")) {
        *motivo = QStringLiteral("opção desconhecida %1 (use --fala ou --fala=arquivo:CAMINHO)").arg(opcao);
        return nullptr;
    }
#ifdef VOTARIM_COM_VOZ
    return criaFalaQt(motivo);
#else
    *motivo = QStringLiteral("o programa foi compilado sem o módulo de fala do Qt");
    return nullptr;
#endif
}
