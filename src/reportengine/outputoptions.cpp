#include "reportengine/outputoptions.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace ReportEngine
{

QList<int> zoomChoices()
{
    return {10, 25, 50, 75, 100, 125, 150, 200, 300, 400, kZoomFitWidth, kZoomWholePage};
}

QString zoomName(int zoom)
{
    if (zoom == kZoomFitWidth) return QStringLiteral("Largura da página");
    if (zoom == kZoomWholePage) return QStringLiteral("Página inteira");
    return QStringLiteral("%1 %").arg(zoom);
}

namespace
{

template <class W> W *named(W *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace

OutputOptionsDialog::OutputOptionsDialog(const EngineValues &settings, bool printerAvailable,
                                         QPrinter &printer, const QString &suggestedFile, QWidget *parent)
    : QDialog(parent), m_settings(settings), m_printer(printer), m_zoom(settings.SystemPreview.ZoomFactor)
{
    setObjectName(QStringLiteral("opcoesSaida"));
    setWindowTitle(settings.TitleSetup);
    setModal(true);
    const Setups allow = settings.SystemSetups;

    auto *destination = new QGroupBox(QStringLiteral("Destino"), this);
    auto *grid = new QGridLayout(destination);
    m_printerButton = named(new QRadioButton(QStringLiteral("&Impressora"), destination), "impressora");
    m_previewButton = named(new QRadioButton(QStringLiteral("&Visualização"), destination), "visualizacao");
    m_fileButton = named(new QRadioButton(QStringLiteral("&Arquivo"), destination), "arquivo");
    auto *group = new QButtonGroup(this);
    group->addButton(m_printerButton);
    group->addButton(m_previewButton);
    group->addButton(m_fileButton);
    m_printerSetup = named(new QPushButton(QStringLiteral("Configurar impressora..."), destination),
                           "configurarImpressora");
    m_previewSetup = named(new QPushButton(QStringLiteral("Configurar visualização..."), destination),
                           "configurarVisualizacao");
    m_format = named(new QComboBox(destination), "formato");
    m_format->addItem(QStringLiteral("PDF"));
    m_format->addItem(QStringLiteral("CSV (linhas de detalhe)"));
    m_path = named(new QLineEdit(suggestedFile, destination), "nomeArquivo");
    m_browse = named(new QPushButton(QStringLiteral("..."), destination), "procurar");
    auto *fileRow = new QHBoxLayout;
    fileRow->addWidget(m_format);
    fileRow->addWidget(m_path, 1);
    fileRow->addWidget(m_browse);
    grid->addWidget(m_printerButton, 0, 0);
    grid->addWidget(m_printerSetup, 0, 1);
    grid->addWidget(m_previewButton, 1, 0);
    grid->addWidget(m_previewSetup, 1, 1);
    grid->addWidget(m_fileButton, 2, 0);
    grid->addLayout(fileRow, 2, 1);

    auto *printing = new QGroupBox(QStringLiteral("Impressão"), this);
    auto *form = new QFormLayout(printing);
    m_copies = named(new QSpinBox(printing), "copias");
    m_copies->setRange(1, 999);
    m_copies->setValue(std::max(1, printer.copyCount()));
    m_collate = named(new QCheckBox(QStringLiteral("Agrupar cópias"), printing), "agrupar");
    m_collate->setChecked(printer.collateCopies());
    m_duplex = named(new QComboBox(printing), "frenteVerso");
    m_duplex->addItem(QStringLiteral("Só frente"), int(QPrinter::DuplexNone));
    m_duplex->addItem(QStringLiteral("Frente e verso (borda longa)"), int(QPrinter::DuplexLongSide));
    m_duplex->addItem(QStringLiteral("Frente e verso (borda curta)"), int(QPrinter::DuplexShortSide));
    form->addRow(QStringLiteral("Cópias:"), m_copies);
    form->addRow(QString(), m_collate);
    form->addRow(QStringLiteral("Frente e verso:"), m_duplex);

    auto *buttons = new QDialogButtonBox(this);
    m_ok = named(buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole), "ok");
    named(buttons->addButton(QStringLiteral("Cancelar"), QDialogButtonBox::RejectRole), "cancelar");
    connect(buttons, &QDialogButtonBox::accepted, this, &OutputOptionsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(destination);
    layout->addWidget(printing);
    layout->addWidget(buttons);

    // What the settings allow; with no printer installed, the preview alone.
    const bool printerAllowed = printerAvailable && allow.testFlag(Setup::AllowDestPrinter);
    const bool fileAllowed = printerAvailable && allow.testFlag(Setup::AllowDestFile);
    m_printerButton->setEnabled(printerAllowed);
    m_fileButton->setEnabled(fileAllowed);
    m_previewButton->setEnabled(allow.testFlag(Setup::AllowDestPreview) || (!printerAllowed && !fileAllowed));
    m_printerSetup->setVisible(allow.testFlag(Setup::AllowPrinterSetup));
    m_previewSetup->setVisible(allow.testFlag(Setup::AllowPreviewSetup));
    m_copies->setVisible(allow.testFlag(Setup::AllowCopies));
    form->labelForField(m_copies)->setVisible(allow.testFlag(Setup::AllowCopies));
    m_collate->setVisible(allow.testFlag(Setup::AllowCollate));
    m_duplex->setVisible(allow.testFlag(Setup::AllowDuplex));
    form->labelForField(m_duplex)->setVisible(allow.testFlag(Setup::AllowDuplex));

    QRadioButton *preselected = settings.DefaultDest == Destination::Printer ? m_printerButton
                                : settings.DefaultDest == Destination::File  ? m_fileButton
                                                                             : m_previewButton;
    if (!preselected->isEnabled()) preselected = m_previewButton;
    preselected->setChecked(true);

    connect(group, &QButtonGroup::buttonToggled, this, [this] { update(); });
    connect(m_path, &QLineEdit::textChanged, this, [this] { update(); });
    connect(m_copies, &QSpinBox::valueChanged, this, [this] { update(); });
    connect(m_browse, &QPushButton::clicked, this, [this] { chooseFile(); });
    connect(m_printerSetup, &QPushButton::clicked, this, [this] { setUpPrinter(); });
    connect(m_previewSetup, &QPushButton::clicked, this, [this] { setUpPreview(); });
    update();
}

void OutputOptionsDialog::update()
{
    const bool toPrinter = m_printerButton->isChecked();
    const bool toFile = m_fileButton->isChecked();
    m_printerSetup->setEnabled(toPrinter);
    m_previewSetup->setEnabled(m_previewButton->isChecked());
    m_format->setEnabled(toFile);
    m_path->setEnabled(toFile);
    m_browse->setEnabled(toFile);
    m_copies->setEnabled(toPrinter);
    m_collate->setEnabled(toPrinter && m_copies->value() > 1);
    m_duplex->setEnabled(toPrinter);
    m_ok->setEnabled(!toFile || !m_path->text().trimmed().isEmpty());
}

void OutputOptionsDialog::chooseFile()
{
    const bool csv = m_format->currentIndex() == 1;
    const QString chosen =
        QFileDialog::getSaveFileName(this, QStringLiteral("Salvar relatório"), m_path->text(),
                                     csv ? QStringLiteral("CSV (*.csv)") : QStringLiteral("PDF (*.pdf)"));
    if (!chosen.isEmpty()) m_path->setText(chosen);
}

void OutputOptionsDialog::setUpPrinter()
{
    m_printer.setCopyCount(m_copies->value());
    m_printer.setCollateCopies(m_collate->isChecked());
    QPrintDialog dialog(&m_printer, this);
    if (dialog.exec() != QDialog::Accepted) return;
    m_copies->setValue(std::max(1, m_printer.copyCount()));
    m_collate->setChecked(m_printer.collateCopies());
    const int duplex = m_duplex->findData(int(m_printer.duplex()));
    if (duplex >= 0) m_duplex->setCurrentIndex(duplex);
}

void OutputOptionsDialog::setUpPreview()
{
    QStringList names;
    int current = 0;
    const QList<int> zooms = zoomChoices();
    for (int i = 0; i < zooms.size(); ++i) {
        names << zoomName(zooms[i]);
        if (zooms[i] == m_zoom) current = i;
    }
    bool ok = false;
    const QString chosen = QInputDialog::getItem(this, QStringLiteral("Configurar visualização"),
                                                 QStringLiteral("Zoom inicial:"), names, current, false, &ok);
    if (ok) m_zoom = zooms[names.indexOf(chosen)];
}

void OutputOptionsDialog::accept()
{
    if (m_printerButton->isChecked()) {
        m_printer.setCopyCount(m_copies->value());
        m_printer.setCollateCopies(m_collate->isChecked());
        m_printer.setDuplex(QPrinter::DuplexMode(m_duplex->currentData().toInt()));
    }
    QDialog::accept();
}

OutputChoice OutputOptionsDialog::choice() const
{
    OutputChoice c;
    c.destination = m_printerButton->isChecked() ? Destination::Printer
                    : m_fileButton->isChecked()  ? Destination::File
                                                 : Destination::Preview;
    c.format = m_format->currentIndex() == 1 ? FileFormat::Csv : FileFormat::Pdf;
    c.path = m_path->text().trimmed();
    if (!c.path.isEmpty() && QFileInfo(c.path).suffix().isEmpty())
        c.path += c.format == FileFormat::Csv ? QStringLiteral(".csv") : QStringLiteral(".pdf");
    c.zoom = m_zoom;
    return c;
}

} // namespace ReportEngine
