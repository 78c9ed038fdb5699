#include "reportengine/prepared.h"

#include "reportengine/reporterror.h"

#include <QDir>
#include <QTemporaryFile>

namespace ReportEngine
{

ImageStore::ImageStore() = default;
ImageStore::~ImageStore() = default;

int ImageStore::addBytes(const QByteArray &bytes)
{
    if (!m_spool) {
        m_spool =
            std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/votarim-imagens-XXXXXX"));
        if (!m_spool->open())
            throw ReportError(
                QStringLiteral("Não foi possível criar o arquivo temporário das imagens do relatório: %1")
                    .arg(m_spool->errorString()));
    }
    Entry e;
    e.offset = m_spool->pos();
    e.size = bytes.size();
    if (m_spool->write(bytes) != bytes.size())
        throw ReportError(
            QStringLiteral("Não foi possível gravar as imagens do relatório no arquivo temporário: %1")
                .arg(m_spool->errorString()));
    m_unflushed = true;
    m_entries.push_back(std::move(e));
    return int(m_entries.size() - 1);
}

int ImageStore::addImage(const QImage &image)
{
    Entry e;
    e.image = image;
    m_entries.push_back(std::move(e));
    return int(m_entries.size() - 1);
}

QImage ImageStore::image(int id) const
{
    if (id < 0 || size_t(id) >= m_entries.size()) return {};
    const Entry &e = m_entries[size_t(id)];
    if (e.offset < 0) return e.image;
    if (m_unflushed) {
        m_spool->flush();
        m_unflushed = false;
    }
    const qint64 end = m_spool->pos();
    QByteArray bytes;
    if (m_spool->seek(e.offset)) bytes = m_spool->read(e.size);
    m_spool->seek(end);
    if (bytes.size() != e.size) return {};
    return QImage::fromData(bytes);
}

} // namespace ReportEngine
