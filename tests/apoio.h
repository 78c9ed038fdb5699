#pragma once

// A temporary installation folder with a fresh database, and small helpers the
// tests share.

#include "data/database.h"
#include "data/esquema.h"
#include "platform/instalacao.h"
#include "platform/mensagens.h"
#include "data/query.h"

#include <QBuffer>
#include <QColor>
#include <QCryptographicHash>
#include <QImage>
#include <QWidget>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <vector>

struct MensagemVista {
    Mensagens::Icone icone;
    QString texto;
};

// Records every message box instead of showing it.
struct Mensagens_vistas {
    std::vector<MensagemVista> lista;
    Mensagens_vistas()
    {
        Mensagens::defineObservador(
            [this](Mensagens::Icone i, const QString &t, QWidget *) { lista.push_back({i, t}); });
    }
    ~Mensagens_vistas() { Mensagens::defineObservador({}); }
    QStringList textos() const
    {
        QStringList l;
        for (const auto &m : lista) l << m.texto;
        return l;
    }
};

struct InstalacaoTeste {
    QTemporaryDir dir;
    explicit InstalacaoTeste(bool comBanco = true, const QString &modelo = QString())
        : dir(modelo.isEmpty() ? QDir::tempPath() + QStringLiteral("/votarim-XXXXXX") : modelo)
    {
        Instalacao::definePasta(dir.path());
        if (comBanco) Esquema::criaBanco(banco());
    }
    QString banco() const { return dir.filePath(Esquema::kArquivoBanco); }
    QString caminho(const QString &rel) const { return dir.filePath(rel); }
};

inline QByteArray hashArquivo(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

// Runs one statement with positional values on an open connection.
inline void executa(Database &db, const QString &sql, const QVariantList &valores = {})
{
    Query q(db);
    q.setSql(sql);
    for (int i = 0; i < valores.size(); ++i) q.setParam(i, valores[i]);
    q.execSql();
}

inline qint64 contaLinhas(Database &db, const QString &sql)
{
    Query q(db);
    q.setSql(sql);
    q.open();
    return q.field(q.fieldName(0)).asInteger();
}

// The bytes of a picture file of one colour, as an operator's photo would be.
inline QByteArray bmp(QColor cor, QSize tamanho = {40, 40}, const char *formato = "BMP")
{
    QImage img(tamanho, QImage::Format_RGB888);
    img.fill(cor);
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, formato);
    return bytes;
}

// A red pixel in a widget's picture: what a name written as HTML would draw if it were read as HTML.
inline bool temVermelho(QWidget *w)
{
    const QImage img = w->grab().toImage();
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = img.pixelColor(x, y);
            if (c.red() > 150 && c.green() < 100 && c.blue() < 100) return true;
        }
    return false;
}
