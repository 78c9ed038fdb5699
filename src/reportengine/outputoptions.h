#pragma once

// The output options window: where the report goes (printer, preview, file),
// with copies, collation, duplex, printer setup and preview setup as the
// settings allow. Modal; cancelling or closing it ends the run with no output.

#include "reportengine/enginesettings.h"

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPrinter;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace ReportEngine
{

enum class FileFormat { Pdf, Csv };

// Preview zoom in percent, or one of these.
constexpr int kZoomFitWidth = -1;
constexpr int kZoomWholePage = -2;

struct OutputChoice {
    Destination destination = Destination::Preview;
    FileFormat format = FileFormat::Pdf;
    QString path;
    int zoom = 100;
};

// The zoom choices offered by the preview and its setup, and their names.
QList<int> zoomChoices();
QString zoomName(int zoom);

class OutputOptionsDialog : public QDialog
{
  public:
    // With no printer available only the preview can be chosen. The printer
    // receives the copies, collation, duplex and the printer chosen here.
    OutputOptionsDialog(const EngineValues &settings, bool printerAvailable, QPrinter &printer,
                        const QString &suggestedFile, QWidget *parent = nullptr);

    OutputChoice choice() const;

  private:
    void update();
    void chooseFile();
    void setUpPrinter();
    void setUpPreview();
    void accept() override;

    const EngineValues &m_settings;
    QPrinter &m_printer;
    int m_zoom;
    QRadioButton *m_printerButton;
    QRadioButton *m_previewButton;
    QRadioButton *m_fileButton;
    QComboBox *m_format;
    QLineEdit *m_path;
    QPushButton *m_browse;
    QSpinBox *m_copies;
    QCheckBox *m_collate;
    QComboBox *m_duplex;
    QPushButton *m_printerSetup;
    QPushButton *m_previewSetup;
    QPushButton *m_ok;
};

} // namespace ReportEngine
