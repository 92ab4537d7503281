#include "window/mainform.h"
#include "window/fulltexttip.h"

#include "driver/commthread.h"
#include "driver/sdi12d.h"
#include "ui_mainform.h"
#include "window/adapterlocator.h"
#include "window/valuecheck.h"

#include <QBrush>
#include <QColor>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QStringList>
#include <QUrl>

#include <algorithm>
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

constexpr int SensorColumns = 8;
constexpr int ThermistorColumns = 7;

constexpr std::array<const char*, SensorColumns> SensorSuffixes{"NAM",  "FRP",  "CFRQ", "CAL0",
                                                                "CAL1", "CAL2", "CAL3", "THSEL"};
constexpr std::array<const char*, ThermistorColumns> ThermistorSuffixes{"NAM", "T0",  "R0", "STA",
                                                                        "STB", "STC", "STD"};

const QColor UnconfirmedColour(255, 244, 160);
const QColor UnsafeColour(255, 170, 170);

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
    ReadProgress = new QLabel(ui->StatusBar1);
    ReadProgress->setObjectName(QStringLiteral("ReadProgress"));
    ReadProgress->setContentsMargins(0, 0, 8, 0);
    ui->StatusBar1->addPermanentWidget(ReadProgress);
    ReadProgress->hide();

    connect(ui->ConnectBtn, &QPushButton::clicked, this, &TMainWindow::ConnectBtnClick);
    connect(ui->SaveBtn, &QPushButton::clicked, this, &TMainWindow::SaveBtnClick);
    connect(ui->CancelBtn, &QPushButton::clicked, this, &TMainWindow::CancelBtnClick);
    connect(ui->HelpBtn, &QPushButton::clicked, this, &TMainWindow::HelpBtnClick);
    connect(ui->SensorSG, &TStringGrid::cellSelected, this,
            [this](int row, int column) { SensorSGSelectCell(column + 1, row + 1); });
    connect(ui->SensorSG, &TStringGrid::characterTyped, this, &TMainWindow::SensorSGKeyPress);
    connect(ui->SensorSG, &TStringGrid::entered, this, &TMainWindow::SensorSGEnter);
    connect(ui->SensorSG, &QTableWidget::itemChanged, this,
            [this](QTableWidgetItem* item) { OnCellEdited(GridSensor, item); });
    connect(ui->ThermistorSG, &QTableWidget::itemChanged, this,
            [this](QTableWidgetItem* item) { OnCellEdited(GridThermistor, item); });

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
    // Closing the window commits an open cell editor, after the form is gone: that edit is
    // no longer the window's business.
    disconnect(ui->SensorSG, nullptr, this, nullptr);
    disconnect(ui->ThermistorSG, nullptr, this, nullptr);
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

    // Long values stay readable in the narrow columns.
    new TFullTextTip(grid);

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
    const bool wasWriting = WritingCells;
    WritingCells = true;
    StoreCellText(grid, col, row, value);
    WritingCells = wasWriting;
}

void TMainWindow::StoreCellText(QTableWidget* grid, int32_t col, int32_t row, const QString& value)
{
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

QString TMainWindow::CellQText(int32_t gridId, int32_t col, int32_t row) const
{
    const QTableWidget* grid = GridOf(gridId);
    if (grid == nullptr || col < 1 || row < 1 || col > grid->columnCount() ||
        row > grid->rowCount())
        return {};
    const QTableWidgetItem* item = grid->item(row - 1, col - 1);
    return item == nullptr ? QString() : item->text();
}

QTableWidgetItem* TMainWindow::CellItem(int32_t gridId, int32_t col, int32_t row)
{
    QTableWidget* grid = GridOf(gridId);
    if (grid == nullptr || col < 1 || row < 1 || col > grid->columnCount() ||
        row > grid->rowCount())
        return nullptr;
    if (grid->item(row - 1, col - 1) == nullptr)
        SetCellText(gridId, col, row, std::string());
    return grid->item(row - 1, col - 1);
}

int TMainWindow::SlotOf(int32_t gridId, int32_t col, int32_t row)
{
    if (gridId == GridSensor && col >= 1 && col <= SensorColumns && row >= 1 && row <= SensorRows)
        return SensorSlotBase + 10 * row + col;
    if (gridId == GridThermistor && col >= 1 && col <= ThermistorColumns && row >= 1 &&
        row <= ThermistorRows)
        return ThermistorSlotBase + 10 * row + col;
    return -1;
}

// ---- Connect and the initial read ----

void TMainWindow::ConnectBtnClick()
{
    if (ConnectRefused()) {
        ShowBusyBox();
        return;
    }
    Replug.Stop();
    sdi12d.ClosePort();
    ResetGrids(*this);
    RefreshMarks();

    const AdapterLocation where = adapterLocator.Locate();
    if (!where.Found) {
        ConnectFailed(QString::fromLatin1(NotIdentifiedText));
        return;
    }
    const QString device = QString::fromStdString(where.DisplayName);
    TAdapterLocator::Open(sdi12d, where, ConnectBaudRate);
    if (!sdi12d.HoldsDevice()) {
        ConnectFailed(PortStatusText(device));
        return;
    }

    // Raised before the driver takes the list, so no tick re-enables the table in between.
    sdi12d.ExchangeRunning.store(1, std::memory_order_release);
    ui->ConnectBtn->setEnabled(false);
    ui->SensorSG->setEnabled(false);
    SetStatus(PortStatusText(device));
    ConnectedDevice = device;

    FillCellRequests();
    InitialReadList.clear();
    for (int slot = 0; slot < CellTableUsed; ++slot) {
        dev_opt& record = cellTable[static_cast<size_t>(slot)];
        if (record.Magic == BoundMagic)
            InitialReadList.push_back(&record);
    }
    Connected = true;
    StartProgress(static_cast<int>(InitialReadList.size()));
    sdi12d.Submit(InitialReadList);
}

// Connect must not close the port or replace the driver's list under a running exchange or
// write-back cycle, nor drop a commit the timer has not taken up yet.
bool TMainWindow::ConnectRefused() const
{
    return (ui->SensorSG->isEnabled() && PendingSaves != 0) ||
           sdi12d.Mode.load(std::memory_order_acquire) != ModeIdle || CycleState != CycleIdle;
}

// Worded by the kind of the port's last error, not by its text.
QString TMainWindow::PortStatusText(const QString& device) const
{
    if (sdi12d.HoldsDevice())
        return TPortStatus::Opened(device, sdi12d.LastErrorKind());
    std::string reason = sdi12d.LastSystemError();
    if (reason.empty())
        reason = sdi12d.LastDiagnostic();
    return TPortStatus::NotOpened(device, sdi12d.LastErrorKind(), reason);
}

void TMainWindow::ShowBusyBox()
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(BusyCaption),
                    QString::fromLatin1(BusyText), QMessageBox::Ok);
    box.exec();
}

// The port stays closed and nothing is submitted; Connect and the table stay usable. The
// cells are no longer those of a connected instrument, so commits write nothing.
void TMainWindow::ConnectFailed(const QString& status)
{
    Connected = false;
    SetStatus(status);
}

void TMainWindow::SetStatus(const QString& text)
{
    ui->StatusBar1->showMessage(text);
}

void TMainWindow::FillCellRequests()
{
    for (int row = 1; row <= SensorRows; ++row)
        for (int col = 1; col <= SensorColumns; ++col)
            BindSensorCell("S" + std::to_string(row - 1) + SensorSuffixes[col - 1], col, row);
    for (int row = 1; row <= ThermistorRows; ++row)
        for (int col = 1; col <= ThermistorColumns; ++col)
            BindThermistorCell("TH" + std::to_string(row - 1) + ThermistorSuffixes[col - 1], col,
                               row);
}

void TMainWindow::BindSensorCell(const std::string& key, int32_t col, int32_t row)
{
    BindCell(GridSensor, SensorSlotBase, key, col, row);
}

void TMainWindow::BindThermistorCell(const std::string& key, int32_t col, int32_t row)
{
    BindCell(GridThermistor, ThermistorSlotBase, key, col, row);
}

// Values and flags stay as they are: a second Connect keeps what a write-back left in them.
void TMainWindow::BindCell(int32_t gridId, int32_t slotBase, const std::string& key, int32_t col,
                           int32_t row)
{
    dev_opt& record = cellTable[static_cast<size_t>(slotBase + 10 * row + col)];
    record.ReadKey = key;
    record.WriteKey = key;
    record.Operation = OpRead;
    record.GridId = gridId;
    record.Col = col;
    record.Row = row;
    record.Magic = BoundMagic;
}

void TMainWindow::StartProgress(int total)
{
    InitialReadRunning = true;
    InitialReadTotal = total;
    InitialReadArrived = 0;
    ReadProgress->setText(QStringLiteral("Reading 1 of %1").arg(total));
    ReadProgress->show();
}

void TMainWindow::UpdateProgress(bool driverIdle)
{
    if (!InitialReadRunning)
        return;
    if (driverIdle) {
        InitialReadRunning = false;
        ReadProgress->hide();
        return;
    }
    const int reading = std::min(InitialReadArrived + 1, InitialReadTotal);
    ReadProgress->setText(QStringLiteral("Reading %1 of %2").arg(reading).arg(InitialReadTotal));
}

// ---- The timer: write-back cycle, copy step, buttons ----

void TMainWindow::Timer1Timer()
{
    // Sampled before the copy: once the driver is idle, every value it read is ready, so the
    // copy below takes them all before a write pass compares any cell.
    const bool driverIdle = sdi12d.Mode.load(std::memory_order_acquire) == ModeIdle;
    CopyReadyValues();
    CheckDeviceRemoved(driverIdle);
    CycleStep(driverIdle);
    UpdateProgress(driverIdle);
    UpdateButtons();
    ReplugStep();
}

void TMainWindow::CycleStep(bool driverIdle)
{
    if (!driverIdle)
        return;
    switch (CycleState) {
    case CycleIdle:
        if (PendingSaves != 0) {
            PendingSaves = 0;
            if (WritePass() > 0) {
                ui->CancelBtn->setEnabled(false);
                CycleState = CycleWriting;
            } else {
                NothingToWrite();
            }
        }
        break;
    case CycleWriting:
        ReadBackPass();
        CycleState = CycleReadingBack;
        break;
    case CycleReadingBack:
        ui->CancelBtn->setEnabled(true);
        CycleState = CycleIdle;
        break;
    default:
        break;
    }
}

// The driver ended its exchange because the adapter was unplugged. The user is told to
// connect again; the cycle is dropped, since nothing can be written or read back until then,
// so Connect is usable at once. Unanswered writes keep WriteNeeded and stay marked. The dead
// device is let go at once: while it is held, the adapter would come back under another name.
void TMainWindow::CheckDeviceRemoved(bool driverIdle)
{
    if (!driverIdle || !Connected || !dev_opt::IsRaised(sdi12d.PortLost))
        return;
    Connected = false;
    SetStatus(TPortStatus::Removed(ConnectedDevice));
    CycleState = CycleIdle;
    PendingSaves = 0;
    ui->CancelBtn->setEnabled(true);
    sdi12d.ClosePort();
    Replug.Start(Tsdi12d::TickCountMs());
}

// While the adapter is away, it is looked for once a second; once it is back, the window
// connects as a click on Connect would. Edits the instrument never confirmed keep their
// marks, so the next Save writes them.
void TMainWindow::ReplugStep()
{
    const uint64_t now = Tsdi12d::TickCountMs();
    const bool connectAllowed = ui->ConnectBtn->isEnabled() && !ConnectRefused();
    if (!Replug.TimeToLook(now, connectAllowed) || !adapterLocator.AdapterPresent())
        return;
    ConnectBtnClick();
    Replug.ConnectTried(Connected, now);
    if (Connected)
        SetStatus(TPortStatus::Reconnected(ConnectedDevice));
}

// A commit that changed nothing ends like a finished cycle: no exchange will come to lower the
// flag that focusing the table raised, nor to enable Close again, so neither may stay locked.
// The driver is idle, so it does not write the flag now.
void TMainWindow::NothingToWrite()
{
    sdi12d.ExchangeRunning.store(0, std::memory_order_release);
    ui->CancelBtn->setEnabled(true);
}

// Runs on every tick, also while the driver is busy, so values show as they arrive. Only
// raised flags are looked at: the driver stores the value before it raises the flag.
void TMainWindow::CopyReadyValues()
{
    for (int slot = 0; slot < CellTableUsed; ++slot) {
        dev_opt& record = cellTable[static_cast<size_t>(slot)];
        if (!dev_opt::IsRaised(record.ResultReady))
            continue;
        ShowReadValue(slot, record);
        dev_opt::Lower(record.ResultReady);
        if (InitialReadRunning)
            ++InitialReadArrived;
    }
}

// The cell shows what the instrument holds, except where a write of the user's edit is still
// unanswered: that edit stays in its cell, marked, so that the next commit writes it again
// instead of it vanishing under the old value.
void TMainWindow::ShowReadValue(int slot, dev_opt& record)
{
    if (dev_opt::IsRaised(record.WriteNeeded) && record.ValueToWrite != record.ValueRead) {
        SetCellText(record.GridId, record.Col, record.Row, record.ValueToWrite);
        const QString holds = QString::fromLatin1(record.ValueRead.data(),
                                                  static_cast<qsizetype>(record.ValueRead.size()));
        SetMark(slot, CellMark::Unconfirmed,
                QString::fromLatin1(UnconfirmedTip) + "; it holds \"" + holds + "\"");
        return;
    }
    SetCellText(record.GridId, record.Col, record.Row, record.ValueRead);
    // An edit is confirmed once its write has been answered and read back.
    if (Marks[static_cast<size_t>(slot)] != CellMark::None &&
        !dev_opt::IsRaised(record.WriteNeeded))
        SetMark(slot, CellMark::None);
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

int32_t TMainWindow::WritePass()
{
    if (!Connected)
        return 0;
    for (int slot = 0; slot < CellTableUsed; ++slot) {
        dev_opt& record = cellTable[static_cast<size_t>(slot)];
        if (record.Magic != BoundMagic)
            continue;
        const QString shown = CellQText(record.GridId, record.Col, record.Row);
        std::string reason = UnrepresentableTextReason(shown.toStdU16String());
        const std::string text = shown.toLatin1().toStdString();
        if (reason.empty() && text == record.ValueRead) {
            if (Marks[static_cast<size_t>(slot)] == CellMark::Unsafe)
                SetMark(slot, CellMark::None);
            continue;
        }
        if (reason.empty())
            reason = UnsafeValueReason(record.WriteKey, text);
        if (!reason.empty()) {
            // The user's latest text replaces any earlier edit still waiting to go out.
            dev_opt::Lower(record.WriteNeeded);
            SetMark(slot, CellMark::Unsafe, QString::fromStdString(reason));
            continue;
        }
        MarkForWriting(record, text);
        SetMark(slot, CellMark::Unconfirmed, QString::fromLatin1(UnconfirmedTip));
    }

    // Also every record whose earlier write the instrument never answered.
    RequestList writes;
    for (int slot = 0; slot < CellTableUsed; ++slot) {
        dev_opt& record = cellTable[static_cast<size_t>(slot)];
        if (dev_opt::IsRaised(record.WriteNeeded))
            writes.push_back(&record);
    }
    if (!writes.empty())
        sdi12d.Submit(writes);
    return static_cast<int32_t>(writes.size());
}

void TMainWindow::MarkForWriting(dev_opt& record, const std::string& text)
{
    record.ValueToWrite = text;
    record.Operation = OpWrite;
    dev_opt::Raise(record.WriteNeeded);
    dev_opt::Raise(record.ReadBackNeeded);
}

int32_t TMainWindow::ReadBackPass()
{
    RequestList reads;
    for (int slot = 0; slot < CellTableUsed; ++slot) {
        dev_opt& record = cellTable[static_cast<size_t>(slot)];
        if (record.Magic != BoundMagic || !dev_opt::IsRaised(record.ReadBackNeeded))
            continue;
        record.Operation = OpRead;
        reads.push_back(&record);
    }
    if (!reads.empty())
        sdi12d.Submit(reads);
    return static_cast<int32_t>(reads.size());
}

// ---- Marks ----

TMainWindow::CellMark TMainWindow::MarkOf(int slot) const
{
    if (slot < 0 || slot >= CellTableUsed)
        return CellMark::None;
    return Marks[static_cast<size_t>(slot)];
}

void TMainWindow::SetMark(int slot, CellMark mark, const QString& tip)
{
    Marks[static_cast<size_t>(slot)] = mark;
    const dev_opt& record = cellTable[static_cast<size_t>(slot)];
    const bool wasWriting = WritingCells;
    WritingCells = true;
    if (QTableWidgetItem* item = CellItem(record.GridId, record.Col, record.Row)) {
        switch (mark) {
        case CellMark::None:
            item->setData(Qt::BackgroundRole, QVariant());
            item->setToolTip(QString());
            break;
        case CellMark::Unconfirmed:
            item->setBackground(UnconfirmedColour);
            item->setToolTip(tip.isEmpty() ? QString::fromLatin1(UnconfirmedTip) : tip);
            break;
        case CellMark::Unsafe:
            item->setBackground(UnsafeColour);
            item->setToolTip(tip);
            break;
        }
    }
    WritingCells = wasWriting;
}

// After Connect has emptied the sensor cells: only writes still unanswered stay marked.
void TMainWindow::RefreshMarks()
{
    for (int slot = 0; slot < CellTableUsed; ++slot) {
        const dev_opt& record = cellTable[static_cast<size_t>(slot)];
        if (record.Magic != BoundMagic) {
            Marks[static_cast<size_t>(slot)] = CellMark::None;
            continue;
        }
        SetMark(slot,
                dev_opt::IsRaised(record.WriteNeeded) ? CellMark::Unconfirmed : CellMark::None);
    }
}

// An edit the user committed into a cell: it awaits the instrument's confirmation.
void TMainWindow::OnCellEdited(int32_t gridId, QTableWidgetItem* item)
{
    if (WritingCells || item == nullptr || !Connected)
        return;
    const int slot = SlotOf(gridId, item->column() + 1, item->row() + 1);
    if (slot < 0 || cellTable[static_cast<size_t>(slot)].Magic != BoundMagic)
        return;
    const dev_opt& record = cellTable[static_cast<size_t>(slot)];
    // ValueRead may be compared only while the driver leaves the records alone.
    const bool idle = sdi12d.Mode.load(std::memory_order_acquire) == ModeIdle;
    if (idle && !dev_opt::IsRaised(record.WriteNeeded) &&
        item->text() == QString::fromLatin1(record.ValueRead.data(),
                                            static_cast<qsizetype>(record.ValueRead.size()))) {
        SetMark(slot, CellMark::None);
        return;
    }
    SetMark(slot, CellMark::Unconfirmed, QString::fromLatin1(UnconfirmedTip));
}

// ---- Buttons and sensor table events ----

void TMainWindow::SaveBtnClick()
{
    TypedSinceSave = 0;
    ++PendingSaves;
}

void TMainWindow::SensorSGSelectCell(int32_t /*col*/, int32_t /*row*/)
{
    ++PendingSaves;
}

void TMainWindow::SensorSGKeyPress()
{
    TypedSinceSave = 1;
}

// Keeps the tick from enabling Connect while the user works in the table. Before a Connect
// has bound the cells no exchange would ever lower the flag again, so it is left alone then.
void TMainWindow::SensorSGEnter()
{
    if (Connected)
        sdi12d.ExchangeRunning.store(1, std::memory_order_release);
}

void TMainWindow::CancelBtnClick()
{
    close();
}

// Opens the manual of the current directory with the desktop's viewer, without waiting;
// nothing happens when there is none.
void TMainWindow::HelpBtnClick()
{
    const QString path = QDir::current().absoluteFilePath(QString::fromLatin1(ManualFile));
    if (!QFileInfo::exists(path))
        return;
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}
