#include "reportengine/reportproject.h"

#include "reportengine/outputoptions.h"
#include "reportengine/preview.h"
#include "reportengine/project.h"
#include "reportengine/render.h"
#include "reportengine/reporterror.h"
#include "reportengine/statuswindow.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ReportEngine
{

namespace
{

constexpr qint64 kLargestProject = 16 * 1024 * 1024;

struct RunningFlag {
    bool &flag;
    explicit RunningFlag(bool &f) : flag(f) { flag = true; }
    ~RunningFlag() { flag = false; }
};

// Runs one step of a run with a progress callback that shows each page in the
// status window, when the settings show one.
template <class Step> auto withStatus(const EngineValues &settings, const QString &format, Step step)
{
    std::unique_ptr<StatusWindow> status;
    if (settings.SystemOptions.testFlag(Option::ShowStatus))
        status = std::make_unique<StatusWindow>(settings.TitleStatus, format, QApplication::activeWindow());
    return step([&status](int page) { return !status || status->showPage(page); });
}

} // namespace

ReportProject::ReportProject(QObject *owner) : QObject(owner)
{
    setObjectName(QStringLiteral("relatorio"));
    Engine = &m_defaults;
}

ReportProject::~ReportProject() = default;

void ReportProject::SetReportParameter(const QString &name, const QString &value)
{
    for (auto &[n, v] : m_parameters) {
        if (n.compare(name, Qt::CaseInsensitive) == 0) {
            v = value;
            return;
        }
    }
    m_parameters.append({name, value});
}

void ReportProject::openProject()
{
    if (m_project) return;
    const QString path = QFileInfo(ProjectFile).absoluteFilePath();
    const QString missing = QStringLiteral("The following reporting project does not exist:\r\"%1\"")
                                .arg(QDir::toNativeSeparators(path));
    // Only a regular file is a project: reading a pipe or a device would wait
    // forever. Opened without waiting, then checked on what was opened, so that a
    // file swapped for a pipe in between is refused too.
    if (!QFileInfo(path).isFile()) throw ReportError(missing);
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw ReportError(QStringLiteral("Não foi possível ler o projeto de relatórios \"%1\": %2")
                              .arg(QDir::toNativeSeparators(path), QString::fromLocal8Bit(std::strerror(errno))));
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        throw ReportError(missing);
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw ReportError(QStringLiteral("Não foi possível ler o projeto de relatórios \"%1\": %2")
                              .arg(QDir::toNativeSeparators(path), file.errorString()));
    }
    const QString tooLarge = QStringLiteral("O projeto de relatórios \"%1\" é grande demais (mais de 16 MB)")
                                 .arg(QDir::toNativeSeparators(path));
    if (info.st_size > kLargestProject) throw ReportError(tooLarge);
    const QByteArray bytes = file.read(kLargestProject + 1);
    if (file.error() != QFileDevice::NoError)
        throw ReportError(QStringLiteral("Não foi possível ler o projeto de relatórios \"%1\": %2")
                              .arg(QDir::toNativeSeparators(path), file.errorString()));
    // A file that grew while it was read.
    if (bytes.size() > kLargestProject) throw ReportError(tooLarge);
    m_project = readProject(bytes, path);
    m_projectHash = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

PageStamp ReportProject::stampFor(const Report &report) const
{
    return pageStamp ? pageStamp(report.name, m_projectHash) : PageStamp{};
}

bool ReportProject::printerAvailable() const
{
    return !printToFile.isEmpty() || !QPrinterInfo::availablePrinters().isEmpty();
}

void ReportProject::setUpPrinter(QPrinter &printer) const
{
    if (printToFile.isEmpty()) return;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(printToFile);
}

QString ReportProject::suggestedFile(const QString &reportName) const
{
    const QString folder = !defaultFolder.isEmpty()
                               ? defaultFolder
                               : QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QDir(folder).filePath(reportName + QStringLiteral(".pdf"));
}

void ReportProject::RunReport(const QString &name)
{
    if (m_running) throw ReportError(QStringLiteral("Já há um relatório em andamento"));
    const RunningFlag running(m_running);
    openProject();
    Report *report = m_project->find(name);
    if (!report) return;
    const Parameters parameters = m_parameters;
    // The settings of this run, even if they change while it runs.
    const EngineValues settings = Engine ? *Engine : m_defaults;

    QPrinter printer(QPrinter::HighResolution);
    setUpPrinter(printer);
    const bool hasPrinter = printerAvailable();
    OutputChoice choice;
    choice.destination = settings.DefaultDest;
    choice.zoom = settings.SystemPreview.ZoomFactor;
    if (settings.SystemSetups.testFlag(Setup::AllowSetup)) {
        OutputOptionsDialog dialog(settings, hasPrinter, printer, suggestedFile(report->name),
                                   QApplication::activeWindow());
        if (dialog.exec() != QDialog::Accepted) return;
        choice = dialog.choice();
    } else if (!hasPrinter) {
        choice.destination = Destination::Preview;
    }
    // Without the output options window there is no file name to write to.
    if (choice.destination == Destination::File && choice.path.isEmpty())
        throw ReportError(QStringLiteral("Nenhum arquivo de saída foi escolhido para o relatório"));

    std::unique_ptr<PreparedReport> pages = generate(*report, parameters, settings);
    if (!pages) return;
    deliver(*pages, choice, printer, hasPrinter, settings);
}

std::unique_ptr<PreparedReport> ReportProject::prepareReport(const QString &name)
{
    if (m_running) throw ReportError(QStringLiteral("Já há um relatório em andamento"));
    const RunningFlag running(m_running);
    openProject();
    Report *report = m_project->find(name);
    if (!report) return nullptr;
    return layoutReport(*report, *m_project, m_connections, m_parameters, {}, stampFor(*report));
}

std::unique_ptr<PreparedReport> ReportProject::generate(Report &report, const Parameters &parameters,
                                                        const EngineValues &settings)
{
    const PageStamp stamp = stampFor(report);
    return withStatus(settings, settings.SystemFiler.StatusFormat, [&](const Progress &progress) {
        return layoutReport(report, *m_project, m_connections, parameters, progress, stamp);
    });
}

void ReportProject::deliver(const PreparedReport &pages, const OutputChoice &choice, QPrinter &printer,
                            bool hasPrinter, const EngineValues &settings)
{
    switch (choice.destination) {
    case Destination::Printer:
        print(pages, printer, settings);
        return;
    case Destination::File:
        saveFile(pages, choice.path, choice.format == FileFormat::Csv, settings);
        return;
    case Destination::Preview:
        break;
    }
    PreviewDialog preview(pages, settings.TitlePreview, choice.zoom, QApplication::activeWindow());
    if (settings.SystemOptions.testFlag(Option::AllowPrintFromPreview) && hasPrinter)
        preview.setPrint([this, &pages, &preview, &settings] {
            try {
                printFromPreview(pages, &preview, settings);
            } catch (const std::exception &e) {
                reportError(e);
            }
        });
    if (settings.SystemOptions.testFlag(Option::AllowSaveFromPreview))
        preview.setSave([this, &pages, &preview, &settings] {
            try {
                saveFromPreview(pages, &preview, settings);
            } catch (const std::exception &e) {
                reportError(e);
            }
        });
    // The pages live in this call, so the preview is shown modally whatever the setting says.
    preview.exec();
}

void ReportProject::print(const PreparedReport &pages, QPrinter &printer, const EngineValues &settings)
{
    const PrintSettings print{settings.SystemPrinter.Title, settings.SystemPrinter.ScaleX,
                              settings.SystemPrinter.ScaleY};
    withStatus(settings, settings.SystemPrinter.StatusFormat,
               [&](const PageProgress &progress) { return printReport(pages, printer, print, progress); });
}

void ReportProject::saveFile(const PreparedReport &pages, const QString &path, bool csv,
                             const EngineValues &settings)
{
    if (csv) {
        const QByteArray own = csvOf ? csvOf(pages.name) : QByteArray();
        if (own.isEmpty())
            writeCsv(pages, path);
        else
            writeFile(path, own);
        return;
    }
    withStatus(settings, settings.SystemPrinter.StatusFormat, [&](const PageProgress &progress) {
        return writePdf(pages, path, settings.SystemPrinter.Title, progress);
    });
}

void ReportProject::printFromPreview(const PreparedReport &pages, QWidget *parent,
                                     const EngineValues &settings)
{
    QPrinter printer(QPrinter::HighResolution);
    setUpPrinter(printer);
    if (printToFile.isEmpty()) {
        QPrintDialog dialog(&printer, parent);
        if (dialog.exec() != QDialog::Accepted) return;
    }
    print(pages, printer, settings);
}

void ReportProject::saveFromPreview(const PreparedReport &pages, QWidget *parent,
                                    const EngineValues &settings)
{
    const QString pdf = QStringLiteral("PDF (*.pdf)"), csv = QStringLiteral("CSV (*.csv)");
    QString filter = pdf;
    QString path =
        QFileDialog::getSaveFileName(parent, QStringLiteral("Salvar relatório"), suggestedFile(pages.name),
                                     pdf + QStringLiteral(";;") + csv, &filter);
    if (path.isEmpty()) return;
    const bool asCsv =
        filter == csv || QFileInfo(path).suffix().compare(QStringLiteral("csv"), Qt::CaseInsensitive) == 0;
    if (QFileInfo(path).suffix().isEmpty()) path += asCsv ? QStringLiteral(".csv") : QStringLiteral(".pdf");
    saveFile(pages, path, asCsv, settings);
}

void ReportProject::reportError(const std::exception &e)
{
    if (errorHandler) {
        errorHandler(e);
        return;
    }
    QMessageBox::critical(QApplication::activeWindow(), QCoreApplication::applicationName(),
                          QString::fromUtf8(e.what()));
}

} // namespace ReportEngine
