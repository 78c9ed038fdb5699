#include "reportengine/project.h"
#include "reportengine/project_p.h"

// Reading a report project file: the entry point, the document's root and the errors
// that name the file, line and column.

namespace ReportEngine
{

Report *Project::find(const QString &name) const
{
    for (const auto &r : reports)
        if (r->name.compare(name, Qt::CaseInsensitive) == 0) return r.get();
    return nullptr;
}

namespace internal
{

std::unique_ptr<Project> ProjectReader::read()
{
    auto project = std::make_unique<Project>();
    project->folder = QFileInfo(m_path).absolutePath();
    bool seenRoot = false;
    while (!m_xml.atEnd()) {
        const auto token = m_xml.readNext();
        switch (token) {
        case QXmlStreamReader::StartElement:
            if (seenRoot) fail(QStringLiteral("há mais de um elemento raiz"));
            seenRoot = true;
            readProjectElement(*project);
            break;
        case QXmlStreamReader::Characters:
            if (!m_xml.isWhitespace()) fail(QStringLiteral("texto fora do elemento <project>"));
            break;
        case QXmlStreamReader::DTD:
            fail(QStringLiteral("declarações de tipo de documento não são aceitas"));
        case QXmlStreamReader::EntityReference:
            fail(QStringLiteral("entidade desconhecida"));
        default:
            break;
        }
    }
    checkXmlError();
    if (!seenRoot) fail(QStringLiteral("falta o elemento <project>"));
    return project;
}

[[noreturn]] void ProjectReader::failAt(SourcePos p, const QString &why) const
{
    throw ReportError(QStringLiteral("Erro no projeto de relatórios \"%1\", linha %2, coluna %3: %4")
                          .arg(QDir::toNativeSeparators(m_path))
                          .arg(p.line)
                          .arg(p.column)
                          .arg(why));
}

[[noreturn]] void ProjectReader::fail(const QString &why) const
{
    checkXmlError();
    failAt(here(), why);
}

void ProjectReader::checkXmlError() const
{
    if (!m_xml.hasError()) return;
    QString why;
    switch (m_xml.error()) {
    case QXmlStreamReader::PrematureEndOfDocumentError:
        why = QStringLiteral("o arquivo termina antes do fim do projeto (arquivo incompleto)");
        break;
    case QXmlStreamReader::NotWellFormedError:
        why = QStringLiteral("o arquivo não é um XML bem formado");
        break;
    case QXmlStreamReader::UnexpectedElementError:
        why = QStringLiteral("<text> só aceita texto, não elementos");
        break;
    default:
        why = QStringLiteral("o arquivo não é um projeto de relatórios legível");
        break;
    }
    failAt(here(), why);
}

[[noreturn]] void ProjectReader::failExpression(const ReportError &e) const
{
    throw ReportError(QStringLiteral("Erro no projeto de relatórios \"%1\", %2")
                          .arg(QDir::toNativeSeparators(m_path), e.message()));
}

} // namespace internal

std::unique_ptr<Project> readProject(const QByteArray &bytes, const QString &path)
{
    if (bytes.isEmpty()) {
        auto empty = std::make_unique<Project>();
        empty->version = 1;
        empty->locale = QLocale::system();
        empty->folder = QFileInfo(path).absolutePath();
        return empty;
    }
    return internal::ProjectReader(bytes, path).read();
}

} // namespace ReportEngine
