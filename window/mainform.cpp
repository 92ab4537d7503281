#include "window/mainform.h"
#include "window/adapterchooser.h"
#include "writeback/cellsreport.h"
#include "window/celltextdelegate.h"
#include "window/closeconfirm.h"
#include "window/fulltexttip.h"
#include "window/gridstyle.h"
#include "window/narrowfont.h"
#include "window/settingsmenu.h"
#include "window/tableeditor.h"
#include "window/windowaccess.h"

#include "driver/settingkeys.h"
#include "serial/latencycheck.h"
#include "session/waitnotice.h"
#include "settingsfile/showntext.h"
#include "ui_mainform.h"

#include <QBrush>
#include <QCloseEvent>
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
#include <QScopedValueRollback>
#include <QScreen>
#include <QShortcut>
#include <QStringList>
#include <QUrl>

#include <algorithm>
#include <array>

RequestList InitialReadList;
CellTable cellTable;
int32_t PendingSaves = 0;
int32_t TypedSinceSave = 0;

namespace {

std::vector<std::string> KeysOf(const QStringList& keys)
{
    std::vector<std::string> wire;
    for (const QString& key : keys)
        wire.push_back(key.toStdString());
    return wire;
}

constexpr int WindowWidth = 759;
constexpr int WindowHeight = 385;
constexpr int RowHeight = 24;
constexpr int LabelColumnWidth = 64;

constexpr std::array SensorWidths{179, 65, 64, 64, 64, 64, 64, 64};
constexpr std::array ThermistorWidths{186, 64, 64, 64, 64, 64, 64};

const char* const FormFontFamily = "MS Sans Serif";
// Where that font is missing (on Linux), a narrow sans of similar height keeps coefficients such
// as -1.2500E-03 readable in the 64-pixel columns.
constexpr int FormPointSize = 8;
constexpr int SensorPointSize = 10;

template <std::size_t N> QStringList HeaderLabels(const std::array<const char*, N>& headers)
{
    QStringList labels;
    for (const char* header : headers)
        labels << QString::fromLatin1(header);
    return labels;
}

// The substitute takes the pixel height the form's font has on a 96 dpi screen.
QFont FormFont(int pointSize)
{
    if (QFontDatabase::hasFamily(FormFontFamily)) {
        QFont font(FormFontFamily);
        font.setPointSize(pointSize);
        return font;
    }
    QFont font = TNarrowFont::Available() ? QFont(QString::fromLatin1(TNarrowFont::Family))
                                          : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize((pointSize * 96 + 36) / 72);
    return font;
}

} // namespace

TMainWindow::TMainWindow(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      ui(std::make_unique<Ui::MainWindow>()), WriteBack(cellTable, Session, CellView, PendingSaves)
{
    ui->setupUi(this);
    CellView.Attach(ui->SensorSG, ui->ThermistorSG);
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

    // Copy, paste, undo and revert come first on the tables' menus; pasted edits are counted
    // at once, as imported ones are.
    for (auto [grid, gridId] : {std::pair<QTableWidget*, int32_t>{ui->SensorSG, GridSensor},
                                {ui->ThermistorSG, GridThermistor}})
        connect(new TTableEditor(grid, gridId, WriteBack), &TTableEditor::edited, this, [this] {
            ShowingNotConfirmed = true;
            ShowNotConfirmed();
        });
    Menu = new TSettingsMenu(this, WriteBack, [this] { return ConnectedDevice; });
    Menu->ReportWith([this] {
        return TCellsReport::Of(WriteBack, OpenedAdapter, ConnectedDevice.toStdString());
    });
    Menu->AddTo(ui->SensorSG, GridSensor);
    Menu->AddTo(ui->ThermistorSG, GridThermistor);
    connect(Menu, &TSettingsMenu::compared, this,
            [this](const QString& status) { SetStatus(status); });
    // Imported values wait, marked, for the next Save; the label counts them.
    connect(Menu, &TSettingsMenu::imported, this, [this](int changed) {
        ShowingNotConfirmed = changed > 0;
        ShowNotConfirmed();
    });

    StopShortcut = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    StopShortcut->setEnabled(false);
    connect(StopShortcut, &QShortcut::activated, this, [this] { Session.Stop(); });

    Timer1.setInterval(Timer1IntervalMs);
    connect(&Timer1, &QTimer::timeout, this, &TMainWindow::Timer1Timer);
    Timer1.start();

    FormCreate();
    // Names, keys and announcements for assistive technology and the keyboard.
    Access = new TWindowAccess(this, WriteBack);
}

TMainWindow::~TMainWindow()
{
    // The comms thread touches the driver and the cell table, which outlive the window; it
    // must be gone before their teardown begins.
    Timer1.stop();
    Session.StopThread();
    // Gives the line back as found: exclusive mark cleared, lock and low-latency flag undone.
    Session.Disconnect();
    // Closing the window commits an open cell editor, after the form is gone: that edit is
    // no longer the window's business.
    disconnect(ui->SensorSG, nullptr, this, nullptr);
    disconnect(ui->ThermistorSG, nullptr, this, nullptr);
}

void TMainWindow::FormCreate()
{
    LabelGrids();
    Session.StartThread();
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

    // Long values stay readable in the narrow columns: a narrower or smaller font first, then
    // shortened in the middle with the start and exponent kept, the whole text as a tooltip.
    grid->setTextElideMode(Qt::ElideNone);
    grid->setItemDelegate(new TCellTextDelegate(grid));
    auto* style = new TGridStyle;
    style->setParent(grid);
    grid->setStyle(style);
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

    ui->SensorSG->setHorizontalHeaderLabels(HeaderLabels(TSettingKeys::SensorHeaders));
    ui->SensorSG->setRowCount(SensorRows);
    QStringList sensorLabels;
    for (int channel = 0; channel < SensorRows; ++channel)
        sensorLabels << QStringLiteral("S%1").arg(channel);
    ui->SensorSG->setVerticalHeaderLabels(sensorLabels);

    ui->ThermistorSG->setHorizontalHeaderLabels(HeaderLabels(TSettingKeys::ThermistorHeaders));
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

std::string TMainWindow::GetCellText(int32_t gridId, int32_t col, int32_t row) const
{
    return CellView.GetCellText(gridId, col, row);
}

void TMainWindow::SetCellText(int32_t gridId, int32_t col, int32_t row, const std::string& text)
{
    CellView.SetCellText(gridId, col, row, text);
}

// ---- Connect and the initial read ----

void TMainWindow::ConnectBtnClick()
{
    if (WriteBack.ConnectRefused(ui->SensorSG->isEnabled())) {
        ShowBusyBox();
        return;
    }
    if (Connecting)
        return; // the replug watch while the user still chooses: Connect never re-enters
    const QScopedValueRollback<bool> connecting(Connecting, true);
    // The device library cannot open a device whose COM port is held: the port goes first.
    const bool wasOpen = Session.HoldsDevice();
    Session.Disconnect();
    const std::vector<TAdapterInfo> adapters = Session.Adapters();
    const int chosen = PickAdapter(adapters);
    if (chosen == -1) {
        if (wasOpen) // the user cancelled the choice of adapter: the port is taken again
            Session.Reopen();
        return;
    }
    Replug.Stop();
    ResetGrids(*this);
    WriteBack.GridsReset();
    ShowingNotConfirmed = false;
    const TConnectResult connected =
        chosen >= 0 ? Session.Connect(adapters[size_t(chosen)]) : Session.Connect(adapters);
    ShowAdapter(connected.Adapter ? &*connected.Adapter : nullptr);
    Connected(connected);
}

void TMainWindow::Connected(const TConnectResult& connected)
{
    const QString device = QString::fromStdString(connected.Device);
    switch (connected.Result) {
    case TConnectResult::Outcome::NotFound:
        ConnectFailed(QString::fromLatin1(NotIdentifiedText),
                      QString::fromLocal8Bit(connected.Problem.c_str()));
        return;
    case TConnectResult::Outcome::NotOpened:
        ConnectFailed(
            QString::fromStdString(TLineWords::NotOpened(connected.Device, connected.Failure)));
        return;
    case TConnectResult::Outcome::Opened:
        break;
    }

    // The adapter's latency timer, read now that the port is open, is told in the tooltip.
    AdapterTip = QString::fromStdString(
        TLatencyCheck().AddedTo(AdapterTip.toStdString(), connected.DevicePath));

    // Raised before the driver takes the list, so no tick re-enables the table in between.
    Session.RaiseExchangeRunning();
    ui->ConnectBtn->setEnabled(false);
    ui->SensorSG->setEnabled(false);
    OpenedStatus =
        QString::fromStdString(TLineWords::Opened(connected.Device, connected.Failure.Kind));
    SetStatus(OpenedStatus);
    ConnectedDevice = device;
    OpenedAdapter = connected.Adapter;

    FillCellRequests();
    StartProgress(WriteBack.StartInitialRead(InitialReadList));
}

int TMainWindow::PickAdapter(const std::vector<TAdapterInfo>& adapters)
{
    if (adapters.size() <= 1)
        return -2;
    int index = TAdapterChooser::Preselected(adapters, ChosenSerial);
    const bool sameAgain = Reconnecting && !ChosenSerial.empty() &&
                           adapters[static_cast<size_t>(index)].SerialNumber == ChosenSerial;
    if (!sameAgain)
        index = TAdapterChooser::Ask(this, adapters, index);
    if (index < 0)
        return -1;
    ChosenSerial = adapters[static_cast<size_t>(index)].SerialNumber;
    return index;
}

// The status bar's tooltip names the adapter, so that the user can tell which one it is.
void TMainWindow::ShowAdapter(const TAdapterInfo* adapter)
{
    AdapterTip =
        adapter
            ? QString::fromStdString("Adapter: " + TShownText::Of(TAdapterList::Identity(*adapter)))
            : QString();
    ui->StatusBar1->setToolTip(AdapterTip);
}

void TMainWindow::ShowBusyBox()
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(BusyCaption),
                    QString::fromLatin1(BusyText), QMessageBox::Ok);
    box.exec();
}

// The port stays closed and nothing is submitted; Connect and the table stay usable. The
// cells are no longer those of a connected instrument, so commits write nothing.
void TMainWindow::ConnectFailed(const QString& status, const QString& reason)
{
    WriteBack.ConnectFailed();
    SetStatus(status, reason);
}

void TMainWindow::SetStatus(const QString& text, const QString& reason)
{
    ui->StatusBar1->showMessage(text);
    ui->StatusBar1->setToolTip(reason.isEmpty() ? AdapterTip : reason);
}

void TMainWindow::FillCellRequests()
{
    for (const TSettingKey& setting : TSettingKeys::All()) {
        if (setting.GridId == GridSensor)
            BindSensorCell(setting.Key, setting.Col, setting.Row);
        else
            BindThermistorCell(setting.Key, setting.Col, setting.Row);
    }
}

void TMainWindow::BindSensorCell(const std::string& key, int32_t col, int32_t row)
{
    WriteBack.BindCell(GridSensor, key, col, row);
}

void TMainWindow::BindThermistorCell(const std::string& key, int32_t col, int32_t row)
{
    WriteBack.BindCell(GridThermistor, key, col, row);
}

void TMainWindow::StartProgress(int total)
{
    InitialReadRunning = true;
    InitialReadTotal = total;
    InitialReadArrived = 0;
    ReadProgress->setText(QStringLiteral("Reading 1 of %1").arg(total));
    ReadProgress->show();
}

void TMainWindow::UpdateProgress(const TWriteBack::TickOutcome& outcome)
{
    if (!InitialReadRunning)
        return;
    InitialReadArrived += outcome.ValuesArrived;
    if (outcome.ExchangeEnded || outcome.DeviceRemoved) {
        InitialReadRunning = false;
        ReadProgress->hide();
        return;
    }
    const int reading = std::min(InitialReadArrived + 1, InitialReadTotal);
    ReadProgress->setText(QStringLiteral("Reading %1 of %2").arg(reading).arg(InitialReadTotal));
}

// After a read or a cycle that left marks, the label says how many settings are not
// confirmed; it goes when none is left.
void TMainWindow::ShowNotConfirmed()
{
    if (InitialReadRunning)
        return;
    const int count = WriteBack.NotConfirmedCount();
    if (count == 0)
        ShowingNotConfirmed = false;
    if (!ShowingNotConfirmed) {
        ReadProgress->hide();
        return;
    }
    ReadProgress->setText(count == 1 ? QStringLiteral("1 setting not confirmed")
                                     : QStringLiteral("%1 settings not confirmed").arg(count));
    ReadProgress->show();
}

// ---- The timer: write-back cycle, copy step, buttons ----

void TMainWindow::Timer1Timer()
{
    const TWriteBack::TickOutcome outcome = WriteBack.Tick();
    ApplyTick(outcome);
    UpdateProgress(outcome);
    if ((outcome.ExchangeEnded && WriteBack.CycleState == TCycleState::Idle) ||
        outcome.DeviceRemoved)
        ShowingNotConfirmed = true;
    ShowNotConfirmed();
    ShowWaitNotice();
    UpdateButtons();
    WatchForReplug(outcome);
    Menu->UpdateEnabled(Session.Idle());
    Access->Update();
}

// While a reply is overdue the count says so, and Esc stops the exchange.
void TMainWindow::ShowWaitNotice()
{
    const uint64_t waited = Session.WaitedMs();
    StopShortcut->setEnabled(TWaitNotice::Shows(waited));
    if (!TWaitNotice::Shows(waited))
        return;
    const QString what = InitialReadRunning
                             ? ReadProgress->text().section(QStringLiteral(" - "), 0, 0)
                             : QStringLiteral("Saving");
    ReadProgress->setText(what + QString::fromStdString(TWaitNotice::Suffix(waited)));
    ReadProgress->show();
}

void TMainWindow::ApplyTick(const TWriteBack::TickOutcome& outcome)
{
    if (outcome.LookWrong) // the instrument answers; values it holds look wrong, or no longer
        SetStatus(outcome.LookWrong->isEmpty()
                      ? OpenedStatus
                      : QString::fromStdString(TLineWords::LookWrong(ConnectedDevice.toStdString(),
                                                                     KeysOf(*outcome.LookWrong))));
    const std::string ended = TLineWords::Ended(ConnectedDevice.toStdString(), outcome.EndedBy);
    if (!ended.empty())
        SetStatus(QString::fromStdString(ended));
    else if (outcome.CycleEnded && !outcome.LookWrong && WriteBack.Compared().Active())
        // What was saved may have brought values to the file's: the count is told anew.
        SetStatus(WriteBack.Compared().Summary(WriteBack.DifferingFromFile()));
    if (outcome.WritesStarted)
        ui->CancelBtn->setEnabled(false);
    if (outcome.NothingToWrite || outcome.CycleEnded || outcome.DeviceRemoved)
        ui->CancelBtn->setEnabled(true);
}

// After the adapter was pulled out, the dead device is let go as soon as the driver has
// stopped (while it is held, the adapter would come back under another name), and the adapter
// is looked for once a second. Once it is back, the window connects as a click on Connect
// would; edits the instrument never confirmed stay marked for the next Save.
void TMainWindow::WatchForReplug(const TWriteBack::TickOutcome& outcome)
{
    const uint64_t now = TInstrumentSession::NowMs();
    if (outcome.DeviceRemoved)
        Replug.Start(now);
    if (!Replug.Watching())
        return;
    if (Session.Idle() && Session.HoldsDevice())
        Session.Disconnect();
    const bool connectAllowed = !Connecting && ui->ConnectBtn->isEnabled() &&
                                !WriteBack.ConnectRefused(ui->SensorSG->isEnabled());
    if (!Replug.TimeToLook(now, connectAllowed) || !Session.AdapterPresent())
        return;
    Reconnecting = true;
    ConnectBtnClick();
    Reconnecting = false;
    Replug.ConnectTried(WriteBack.Connected(), now);
    if (WriteBack.Connected())
        SetStatus(QString::fromStdString(TLineWords::Reconnected(ConnectedDevice.toStdString())));
}

void TMainWindow::UpdateButtons()
{
    if (TypedSinceSave != 0) {
        ui->ConnectBtn->setEnabled(false);
        ui->CancelBtn->setEnabled(false);
    } else if (!Session.ExchangeRunning()) {
        ui->SensorSG->setEnabled(true);
        ui->ConnectBtn->setEnabled(true);
    }
}

int32_t TMainWindow::WritePass()
{
    return WriteBack.WritePass();
}

int32_t TMainWindow::ReadBackPass()
{
    return WriteBack.ReadBackPass();
}

// An edit the user made in a cell; the window's own stores do not count.
void TMainWindow::OnCellEdited(int32_t gridId, QTableWidgetItem* item)
{
    if (CellView.WritingCells() || item == nullptr)
        return;
    WriteBack.UserEdited(SlotOf(gridId, item->column() + 1, item->row() + 1));
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
    if (WriteBack.Connected())
        Session.RaiseExchangeRunning();
}

void TMainWindow::CancelBtnClick()
{
    if (CloseConfirmed())
        close();
}

// The title bar's close box and Alt+F4 ask as Close does; a close by the program itself, as on
// a termination signal, does not.
void TMainWindow::closeEvent(QCloseEvent* event)
{
    if (event->spontaneous() && !CloseConfirmed()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

// Edits the instrument has not confirmed are not dropped without a word.
bool TMainWindow::CloseConfirmed()
{
    const std::optional<QString> question = TCloseQuestion::Text(WriteBack.UnconfirmedEditCount());
    if (!question)
        return true;
    switch (TCloseConfirm::Ask(this, *question)) {
    case TCloseQuestion::Choice::SaveFirst:
        SaveBtnClick();
        return false;
    case TCloseQuestion::Choice::Close:
        return true;
    case TCloseQuestion::Choice::Cancel:
        break;
    }
    return false;
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
