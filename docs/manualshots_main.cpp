// manual-shots: the manual's pictures, taken from the real window during the build, so that
// the manual never shows a window that is no longer there. The window connects to the simulated
// instrument on a pseudo-terminal, offscreen; faults of the instrument bring about every mark.
//
//   manual-shots OUTPUT-FOLDER
// writes window-connected.png, marks-light.png and marks-dark.png.

#include "app/tapplication.h"
#include "driver/sdi12d.h"
#include "serial/adapterlocator.h"
#include "sim/instrumentsim.h"
#include "window/mainform.h"
#include "window/markpaint.h"
#include "writeback/marklook.h"

#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QPushButton>
#include <QStyleFactory>
#include <QTableWidget>
#include <QThread>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int WaitMs = 20000;
// Rows of the Sensors table the marks picture shows, header included.
constexpr int ShownRows = 7;
constexpr int LegendLine = 24;
constexpr int Swatch = 40;

bool WaitFor(const std::function<bool()>& done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > WaitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return true;
}

template <typename T> T* Child(const TMainWindow& window, const char* name)
{
    return window.findChild<T*>(QString::fromLatin1(name));
}

bool Settled(const TMainWindow& window)
{
    return sdi12d.Idle() && window.Cells().CycleState == TCycleState::Idle && PendingSaves == 0 &&
           Child<QPushButton>(window, "ConnectBtn")->isEnabled() &&
           Child<QTableWidget>(window, "SensorSG")->isEnabled();
}

bool Connect(TMainWindow& window)
{
    Child<QPushButton>(window, "ConnectBtn")->click();
    return WaitFor([&window] {
        return Settled(window) && !window.Cells().ExchangeOpen() &&
               window.GetCellText(GridThermistor, 7, 3) != std::string();
    });
}

// The user's edit of a cell, as the table's editor leaves it.
void Edit(TMainWindow& window, int col, int row, const QString& text)
{
    Child<QTableWidget>(window, "SensorSG")->item(row - 1, col - 1)->setText(text);
}

// The cells as the recipe in the manual's marks table leaves them: one cell of each mark.
bool MarkCells(TMainWindow& window, TInstrumentSim& sim)
{
    sdi12d.SetReplyLimit(300);
    sim.SetSilentReads("S3CFRQ");
    sim.SetOverlongReply("S2FRP", 300);
    sim.SetSetting("S0CAL2", "n/a"); // written there by another tool: looks wrong
    if (!Connect(window))
        return false;
    sim.SetRejectedWrite("S4CAL0");
    sim.SetSilentWrites("S5NAM");
    Edit(window, 4, 5, QStringLiteral("9.75"));
    Edit(window, 1, 6, QStringLiteral("Dropped 1"));
    Edit(window, 1, 2, QStringLiteral("two\tfields"));
    Child<QPushButton>(window, "SaveBtn")->click();
    return WaitFor([&window] {
        return Settled(window) && window.Cells().Marks().Count() == 5 &&
               window.Cells().UnconfirmedEditCount() == 3;
    });
}

// The top of the Sensors table and, below it, the legend: a swatch of each mark with its sign,
// its colour's name and its meaning.
QImage MarksPicture(TMainWindow& window)
{
    auto* grid = Child<QTableWidget>(window, "SensorSG");
    grid->viewport()->update();
    QCoreApplication::processEvents();
    const int tableHeight =
        grid->horizontalHeader()->height() + (ShownRows - 1) * grid->rowHeight(0) + 2;
    const QPixmap table = grid->grab(QRect(0, 0, grid->width(), tableHeight));
    const QPalette palette = grid->palette();
    const bool dark = TMarkPaint::IsDark(palette);
    const auto& marks = TMarkLook::Marks();
    const int legendHeight = static_cast<int>(marks.size()) * LegendLine + 12;

    QImage image(table.width(), table.height() + legendHeight, QImage::Format_RGB32);
    image.fill(palette.color(QPalette::Window));
    QPainter painter(&image);
    painter.drawPixmap(0, 0, table);
    painter.setFont(window.font());
    int y = table.height() + 8;
    for (TCellMark mark : marks) {
        const TMarkLook::Look look = TMarkLook::Of(mark, dark);
        const QRect swatch(8, y, Swatch, LegendLine - 4);
        painter.fillRect(swatch, TMarkPaint::Colour(look.Ground));
        TMarkPaint::DrawSign(painter, TMarkPaint::SignRect(swatch), look.Sign,
                             TMarkPaint::Colour(look.Text));
        painter.setPen(palette.color(QPalette::WindowText));
        painter.drawText(QRect(Swatch + 16, y, image.width() - Swatch - 24, LegendLine - 4),
                         Qt::AlignVCenter | Qt::AlignLeft,
                         TMarkLook::ColourName(mark) + ": " + TMarkLook::Meaning(mark));
        y += LegendLine;
    }
    return image;
}

QPalette DarkPalette()
{
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(53, 53, 53));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    dark.setColor(QPalette::Base, QColor(42, 42, 42));
    dark.setColor(QPalette::AlternateBase, QColor(66, 66, 66));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    dark.setColor(QPalette::Button, QColor(53, 53, 53));
    dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
    dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
    dark.setColor(QPalette::HighlightedText, QColor(255, 255, 255));
    dark.setColor(QPalette::ToolTipBase, QColor(53, 53, 53));
    dark.setColor(QPalette::ToolTipText, QColor(230, 230, 230));
    return dark;
}

bool Save(const QImage& image, const QDir& folder, const char* name)
{
    const QString path = folder.filePath(QString::fromLatin1(name));
    if (image.save(path))
        return true;
    std::fprintf(stderr, "manual-shots: cannot write %s\n", qPrintable(path));
    return false;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: manual-shots OUTPUT-FOLDER\n");
        return 2;
    }
    // Runs during the build, where there may be no display.
    std::vector<char*> qtArgs{argv[0], const_cast<char*>("-platform"),
                              const_cast<char*>("offscreen")};
    int qtArgc = static_cast<int>(qtArgs.size());
    qtArgs.push_back(nullptr);
    TApplication app(qtArgc, qtArgs.data());
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const QDir folder(QString::fromLocal8Bit(argv[1]));

    TInstrumentSim sim;
    adapterLocator.UseDevice(sim.SlavePath());
    auto window = std::make_unique<TMainWindow>();
    window->show();
    if (!Connect(*window)) {
        std::fprintf(stderr, "manual-shots: the window did not read the simulated instrument\n");
        return 1;
    }
    if (!Save(window->grab().toImage(), folder, "window-connected.png"))
        return 1;
    if (!MarkCells(*window, sim)) {
        std::fprintf(stderr, "manual-shots: the marks did not come about\n");
        return 1;
    }
    if (!Save(MarksPicture(*window), folder, "marks-light.png"))
        return 1;
    QApplication::setPalette(DarkPalette());
    if (!Save(MarksPicture(*window), folder, "marks-dark.png"))
        return 1;
    WaitFor([] { return sdi12d.Idle(); });
    window.reset();
    sdi12d.ClosePort();
    return 0;
}
