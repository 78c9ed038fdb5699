#pragma once

// The report project component: the project file, kept once read; the parameter
// list; the data connections known by name; the engine settings; and RunReport,
// which asks for the output options, generates the pages under the status
// window and delivers them to the preview, a printer or a file.

#include "reportengine/dataconnection.h"
#include "reportengine/enginesettings.h"
#include "reportengine/layout.h"

#include <QObject>
#include <QPointer>
#include <exception>
#include <functional>
#include <memory>

class QPrinter;

namespace ReportEngine
{

struct Project;
struct OutputChoice;

class ReportProject : public QObject
{
  public:
    explicit ReportProject(QObject *owner = nullptr);
    ~ReportProject() override;

    // The project file's full path.
    QString ProjectFile;
    // The settings of every run; the engine's defaults until set.
    QPointer<EngineSettings> Engine;

    // Stores the value under the name (letter case aside); every later run reads it.
    void SetReportParameter(const QString &name, const QString &value);
    // Runs the named report (letter case aside) and returns when the run is over.
    // A name the project does not hold: nothing shown. Errors are ReportError.
    void RunReport(const QString &name);
    // The same report laid out into pages with no window at all (no options, no
    // status, no delivery), for programs without a screen; null when the project
    // does not hold it.
    std::unique_ptr<PreparedReport> prepareReport(const QString &name);

    ConnectionRegistry &connections() { return m_connections; }
    Parameters parameters() const { return m_parameters; }
    bool isOpen() const { return bool(m_project); }
    // The SHA-256 of the project file as read, in lower-case hexadecimal; empty
    // until the project is open.
    QString projectHash() const { return m_projectHash; }

    // Asked before each run for the lines to draw at the foot of every page of
    // that report (see PageStamp), with the report's name and the project's hash.
    std::function<PageStamp(const QString &report, const QString &projectHash)> pageStamp;
    // The caller's own CSV of a report, when it has one (empty: the engine's, from
    // the detail rows), so that a program writes one CSV wherever it is saved.
    std::function<QByteArray(const QString &report)> csvOf;

    // Errors raised by the preview's print and save buttons, inside the window's
    // event loop, go here; by default a message box with the application's name.
    std::function<void(const std::exception &)> errorHandler;
    // Where the output options window starts the file name; empty: the report's
    // name in the documents folder.
    QString defaultFolder;
    // A printer that writes PDF to this file stands for the installed printer
    // (the installed ones are used when empty).
    QString printToFile;

  private:
    void openProject();
    bool printerAvailable() const;
    // The installed printer, or the PDF file that stands for it.
    void setUpPrinter(QPrinter &printer) const;
    // Where saving a report proposes to write it: its name in the default folder.
    QString suggestedFile(const QString &reportName) const;
    std::unique_ptr<PreparedReport> generate(Report &report, const Parameters &parameters,
                                             const EngineValues &settings);
    PageStamp stampFor(const Report &report) const;
    void deliver(const PreparedReport &pages, const OutputChoice &choice, QPrinter &printer, bool hasPrinter,
                 const EngineValues &settings);
    void print(const PreparedReport &pages, QPrinter &printer, const EngineValues &settings);
    void saveFile(const PreparedReport &pages, const QString &path, bool csv, const EngineValues &settings);
    void saveFromPreview(const PreparedReport &pages, QWidget *parent, const EngineValues &settings);
    void printFromPreview(const PreparedReport &pages, QWidget *parent, const EngineValues &settings);
    void reportError(const std::exception &e);

    std::unique_ptr<Project> m_project;
    QString m_projectHash;
    Parameters m_parameters;
    ConnectionRegistry m_connections;
    EngineSettings m_defaults;
    bool m_running = false;
};

} // namespace ReportEngine
