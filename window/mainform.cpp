#include "window/mainform.h"

#include "driver/commthread.h"
#include "driver/sdi12d.h"
#include "ui_mainform.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QScreen>
#include <QStringList>

#include <array>

RequestList InitialReadList;
CellTable cellTable;
int32_t PendingSaves = 0;
int32_t TypedSinceSave = 0;

namespace {

constexpr int WindowWidth = 759;
constexpr int WindowHeight = 385;
constexpr int RowHeight = 24;
constexpr int LabelColumnWidth = 64;
constexpr int SensorRows = 20;
constexpr int ThermistorRows = 3;

constexpr std::array SensorWidths{179, 65, 64, 64, 64, 64, 64, 64};
constexpr std::array ThermistorWidths{186, 64, 64, 64, 64, 64, 64};

const char* const FormFontFamily = "MS Sans Serif";
constexpr int FormPointSize = 8;
constexpr int SensorPointSize = 10;

const QStringList& SensorHeaders()
{
    static const QStringList headers{"Name", "Proc", "Mid Hz", "A", "B", "C", "D", "Therm#"};
    return headers;
}

// Column 6 is headed by the digit zero, as the instrument's own documents head it.
const QStringList& ThermistorHeaders()
{
    static const QStringList headers{"Name", "T0", "R0", "A", "B", "0", "D"};
    return headers;
}

QFont FormFont(int pointSize)
{
    QFont font = QFontDatabase::hasFamily(FormFontFamily)
                     ? QFont(FormFontFamily)
                     : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(pointSize);
    return font;
}

} // namespace

TMainWindow::TMainWindow(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      ui(std::make_unique<Ui::MainWindow>())
{
    ui->setupUi(this);
    setFixedSize(WindowWidth, WindowHeight);
    setWindowIcon(QIcon(QStringLiteral(":/devconfig.png")));
    ApplyFonts();
    SetUpGrid(ui->SensorSG, SensorWidths.data(), static_cast<int>(SensorWidths.size()));
    SetUpGrid(ui->ThermistorSG, ThermistorWidths.data(), static_cast<int>(ThermistorWidths.size()));
    ui->StatusBar1->showMessage(QStringLiteral("Attach device and press Connect"));

    Timer1.setInterval(Timer1IntervalMs);
    connect(&Timer1, &QTimer::timeout, this, &TMainWindow::Timer1Timer);
    Timer1.start();

    CycleState = CycleIdle;
    FormCreate();
}

TMainWindow::~TMainWindow()
{
    // The comms thread touches the driver and the cell table, which outlive the window; it
    // must be gone before their teardown begins.
    Timer1.stop();
    CommsThread.reset();
}

void TMainWindow::FormCreate()
{
    LabelGrids();
    CommsThread = std::make_unique<commthread>(sdi12d, true);
    CommsThread->Resume();
}

void TMainWindow::ApplyFonts()
{
    setFont(FormFont(FormPointSize));
    ui->SensorSG->setFont(FormFont(SensorPointSize));
}

void TMainWindow::SetUpGrid(QTableWidget* grid, const int* widths, int columnCount)
{
    // Row 0 and column 0 are fixed: headers that neither scroll, nor select, nor move.
    QHeaderView* top = grid->horizontalHeader();
    top->setSectionResizeMode(QHeaderView::Fixed);
    top->setSectionsClickable(false);
    top->setSectionsMovable(false);
    top->setStretchLastSection(false);
    top->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    top->setFixedHeight(RowHeight);
    for (int column = 0; column < columnCount; ++column)
        top->resizeSection(column, widths[column]);

    // Rows stay where they are: cells are bound to channels by row position.
    QHeaderView* side = grid->verticalHeader();
    side->setSectionResizeMode(QHeaderView::Fixed);
    side->setSectionsClickable(false);
    side->setSectionsMovable(false);
    side->setDefaultSectionSize(RowHeight);
    side->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    side->setFixedWidth(LabelColumnWidth);

    // Tab leaves the table for the next control rather than moving between cells.
    grid->setTabKeyNavigation(false);
    grid->setDragEnabled(false);
    grid->setDragDropMode(QAbstractItemView::NoDragDrop);
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    grid->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void TMainWindow::CentreOnScreen()
{
    const QScreen* screen = this->screen();
    if (screen == nullptr)
        screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    // The whole window, frame included, is centred; the frame is known once the window
    // exists on the screen.
    const QRect area = screen->geometry();
    const QSize outer = frameGeometry().size();
    move(area.x() + (area.width() - outer.width()) / 2,
         area.y() + (area.height() - outer.height()) / 2);
}

void TMainWindow::showEvent(QShowEvent* event)
{
    if (!Centred) {
        Centred = true;
        CentreOnScreen();
    }
    QWidget::showEvent(event);
}

void TMainWindow::LabelGrids()
{
    ui->PageControl1->setTabVisible(ui->PageControl1->indexOf(ui->TabSheet3), false);

    ui->SensorSG->setHorizontalHeaderLabels(SensorHeaders());
    ui->SensorSG->setRowCount(SensorRows);
    QStringList sensorLabels;
    for (int channel = 0; channel < SensorRows; ++channel)
        sensorLabels << QStringLiteral("S%1").arg(channel);
    ui->SensorSG->setVerticalHeaderLabels(sensorLabels);

    ui->ThermistorSG->setHorizontalHeaderLabels(ThermistorHeaders());
    ui->ThermistorSG->setRowCount(ThermistorRows);
    ui->ThermistorSG->setVerticalHeaderLabels({"T0", "T1", "T2"});
}

void ResetGrids(TMainWindow& window)
{
    window.LabelGrids();
    const int rows = window.ui->SensorSG->rowCount();
    for (int col = 1; col <= window.ui->SensorSG->columnCount(); ++col)
        for (int row = 1; row <= rows; ++row)
            window.SetCellText(GridSensor, col, row, std::string());
}

QTableWidget* TMainWindow::GridOf(int32_t gridId) const
{
    if (gridId == GridSensor)
        return ui->SensorSG;
    if (gridId == GridThermistor)
        return ui->ThermistorSG;
    return nullptr;
}

// Column 0 and row 0 are the header views; data cell (col, row) is item (row - 1, col - 1).
std::string TMainWindow::GetCellText(int32_t gridId, int32_t col, int32_t row) const
{
    const QTableWidget* grid = GridOf(gridId);
    if (grid == nullptr || col < 0 || row < 0 || col > grid->columnCount() ||
        row > grid->rowCount())
        return {};
    const QTableWidgetItem* item = nullptr;
    if (row == 0 && col > 0)
        item = grid->horizontalHeaderItem(col - 1);
    else if (col == 0 && row > 0)
        item = grid->verticalHeaderItem(row - 1);
    else if (col > 0 && row > 0)
        item = grid->item(row - 1, col - 1);
    return item == nullptr ? std::string() : item->text().toLatin1().toStdString();
}

void TMainWindow::SetCellText(int32_t gridId, int32_t col, int32_t row, const std::string& text)
{
    QTableWidget* grid = GridOf(gridId);
    if (grid == nullptr || col < 0 || row < 0 || col > grid->columnCount() ||
        row > grid->rowCount() || (col == 0 && row == 0))
        return;
    const QString value = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    QTableWidgetItem* item = nullptr;
    if (row == 0)
        item = grid->horizontalHeaderItem(col - 1);
    else if (col == 0)
        item = grid->verticalHeaderItem(row - 1);
    else
        item = grid->item(row - 1, col - 1);
    if (item != nullptr) {
        item->setText(value);
        return;
    }
    if (row == 0)
        grid->setHorizontalHeaderItem(col - 1, new QTableWidgetItem(value));
    else if (col == 0)
        grid->setVerticalHeaderItem(row - 1, new QTableWidgetItem(value));
    else
        grid->setItem(row - 1, col - 1, new QTableWidgetItem(value));
}

void TMainWindow::Timer1Timer()
{
    CopyReadyValues();
    UpdateButtons();
}

// Runs on every tick, also while the driver is busy, so values show as they arrive. Only
// raised flags are looked at: the driver stores the value before it raises the flag.
void TMainWindow::CopyReadyValues()
{
    for (int slot = 0; slot < CellTableUsed; ++slot) {
        dev_opt& record = cellTable[static_cast<size_t>(slot)];
        if (!dev_opt::IsRaised(record.ResultReady))
            continue;
        SetCellText(record.GridId, record.Col, record.Row, record.ValueRead);
        dev_opt::Lower(record.ResultReady);
    }
}

void TMainWindow::UpdateButtons()
{
    if (TypedSinceSave != 0) {
        ui->ConnectBtn->setEnabled(false);
        ui->CancelBtn->setEnabled(false);
    } else if (sdi12d.ExchangeRunning.load(std::memory_order_acquire) == 0) {
        ui->SensorSG->setEnabled(true);
        ui->ConnectBtn->setEnabled(true);
    }
}
