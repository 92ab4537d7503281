#include "report/reportpdf.h"

#include "driver/sdi12d.h"
#include "settingsfile/atomicwrite.h"
#include "settingsfile/showntext.h"

#include <QBuffer>
#include <QDateTime>
#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>
#include <mutex>
#include <numeric>
#include <vector>

namespace {

const char* const Title = "Commissioning report";
constexpr double MarginPt = 40;
constexpr double GapPt = 6; // between table columns
constexpr double LargestPointSize = 9;
constexpr double SmallestPointSize = 6.5;

// Text from outside, as the terminal shows it: nothing in it can act on a reader.
QString Shown(const std::string& utf8)
{
    return QString::fromStdString(TShownText::Of(utf8, MaxLineLength));
}

struct Cell
{
    QString Text;
    QString Note; // the state in words, under the text
};

struct Table
{
    QStringList Headers;
    std::vector<std::vector<Cell>> Rows;
};

// Lays the report out on pages; the same pass measures (painter null) and paints, so that the
// page count painted in the footers is the count the measuring found.
class Pages
{
public:
    Pages(QPdfWriter& writer, QPainter* painter, int total, QString footer)
        : Writer(writer), Painter(painter), Total(total), Footer(std::move(footer)),
          Pt(writer.resolution() / 72.0)
    {
        const double margin = MarginPt * Pt;
        const QRectF paper(0, 0, writer.width(), writer.height());
        Area = paper.adjusted(margin, margin, -margin, -margin * 1.5);
        Y = Area.top();
    }

    int Count() const { return Page; }

    QFont Font(double points, bool bold = false, bool italic = false) const
    {
        QFont font(QStringLiteral("Liberation Sans"));
        font.setStyleHint(QFont::SansSerif);
        font.setPointSizeF(points);
        font.setBold(bold);
        font.setItalic(italic);
        return font;
    }

    void Heading(const QString& text, double points)
    {
        Gap(points * 0.6);
        // Kept on the page with a table's header and first rows.
        Paragraph(text, Font(points, true), 60);
    }

    // A paragraph that wraps at the page width; `keep`: what must follow it on its page.
    void Paragraph(const QString& text, const QFont& font, double keep = 0)
    {
        const QFontMetricsF metrics(font, &Writer);
        // At words; anywhere only when a word (a long path) is wider than the page.
        int flags = Qt::TextWordWrap;
        QRectF box = metrics.boundingRect(QRectF(0, 0, Area.width(), 1e9), flags, text);
        if (box.width() > Area.width()) {
            flags = Qt::TextWrapAnywhere;
            box = metrics.boundingRect(QRectF(0, 0, Area.width(), 1e9), flags, text);
        }
        Need(box.height() + keep * Pt);
        if (Painter) {
            Painter->setFont(font);
            Painter->drawText(QRectF(Area.left(), Y, Area.width(), box.height()), flags, text);
        }
        Y += box.height();
    }

    void Gap(double points) { Y += points * Pt; }

    // The widest font size at which every column's widest text fits; else the smallest, and
    // the columns too narrow for their texts wrap them.
    void Put(const Table& table)
    {
        double points = LargestPointSize;
        std::vector<double> widths = Natural(table, points);
        while (Sum(widths) > Area.width() && points > SmallestPointSize) {
            points = std::max(SmallestPointSize, points - 0.5);
            widths = Natural(table, points);
        }
        Fit(widths);
        const QFont headerFont = Font(points, true);
        const QFont textFont = Font(points);
        const QFont noteFont = Font(points - 1, false, true);
        const double headerHeight = RowHeight({}, table.Headers, widths, headerFont, noteFont);
        bool headerShown = false;
        for (const auto& row : table.Rows) {
            QStringList texts;
            for (const Cell& cell : row)
                texts << cell.Text;
            const double height = RowHeight(row, texts, widths, textFont, noteFont);
            if (!headerShown || Y + height > Area.bottom()) {
                Need(headerHeight + height);
                PaintRow({}, table.Headers, widths, headerFont, noteFont, headerHeight, true);
                headerShown = true;
            }
            PaintRow(row, texts, widths, textFont, noteFont, height, false);
        }
        if (table.Rows.empty()) {
            Need(headerHeight);
            PaintRow({}, table.Headers, widths, headerFont, noteFont, headerHeight, true);
        }
    }

    void Finish() { PaintFooter(); }

private:
    void Need(double height)
    {
        if (Y + height <= Area.bottom() || Y == Area.top())
            return;
        PaintFooter();
        if (Painter)
            Writer.newPage();
        ++Page;
        Y = Area.top();
    }

    void PaintFooter()
    {
        if (!Painter)
            return;
        const QFont font = Font(7.5);
        const QFontMetricsF metrics(font, &Writer);
        const QRectF line(Area.left(), Area.bottom() + 18 * Pt, Area.width(), metrics.height());
        Painter->setFont(font);
        Painter->drawText(line, Qt::AlignLeft, Footer);
        Painter->drawText(line, Qt::AlignRight,
                          QStringLiteral("page %1 of %2").arg(Page).arg(Total));
    }

    std::vector<double> Natural(const Table& table, double points) const
    {
        const QFontMetricsF header(Font(points, true), &Writer);
        const QFontMetricsF text(Font(points), &Writer);
        const QFontMetricsF note(Font(points - 1, false, true), &Writer);
        std::vector<double> widths;
        for (const QString& title : table.Headers)
            widths.push_back(header.horizontalAdvance(title));
        for (const auto& row : table.Rows)
            for (std::size_t c = 0; c < row.size() && c < widths.size(); ++c)
                widths[c] = std::max({widths[c], text.horizontalAdvance(row[c].Text),
                                      note.horizontalAdvance(row[c].Note)});
        for (double& width : widths)
            width += (GapPt + 1) * Pt; // the gap, and a point against rounding
        return widths;
    }

    static double Sum(const std::vector<double>& widths)
    {
        return std::accumulate(widths.begin(), widths.end(), 0.0);
    }

    // Columns that fit keep their width; the rest share what is left equally (and wrap).
    void Fit(std::vector<double>& widths) const
    {
        if (Sum(widths) <= Area.width())
            return;
        std::vector<bool> fixed(widths.size(), false);
        double left = Area.width();
        std::size_t open = widths.size();
        for (bool changed = true; changed && open > 0;) {
            changed = false;
            const double share = left / static_cast<double>(open);
            for (std::size_t c = 0; c < widths.size(); ++c)
                if (!fixed[c] && widths[c] <= share) {
                    fixed[c] = true;
                    left -= widths[c];
                    --open;
                    changed = true;
                }
        }
        for (std::size_t c = 0; c < widths.size(); ++c)
            if (!fixed[c])
                widths[c] = left / static_cast<double>(open);
    }

    static constexpr int CellFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWrapAnywhere;

    double RowHeight(const std::vector<Cell>& cells, const QStringList& texts,
                     const std::vector<double>& widths, const QFont& textFont,
                     const QFont& noteFont) const
    {
        const QFontMetricsF text(textFont, &Writer);
        const QFontMetricsF note(noteFont, &Writer);
        double height = text.height();
        for (int c = 0; c < texts.size() && c < static_cast<int>(widths.size()); ++c) {
            const double width = widths[static_cast<std::size_t>(c)] - GapPt * Pt;
            double cell = text.boundingRect(QRectF(0, 0, width, 1e9), CellFlags, texts[c]).height();
            if (c < static_cast<int>(cells.size()) &&
                !cells[static_cast<std::size_t>(c)].Note.isEmpty())
                cell += note.boundingRect(QRectF(0, 0, width, 1e9), CellFlags,
                                          cells[static_cast<std::size_t>(c)].Note)
                            .height();
            height = std::max(height, cell);
        }
        return height + 3 * Pt;
    }

    void PaintRow(const std::vector<Cell>& cells, const QStringList& texts,
                  const std::vector<double>& widths, const QFont& textFont, const QFont& noteFont,
                  double height, bool header)
    {
        if (Painter) {
            const QFontMetricsF text(textFont, &Writer);
            double x = Area.left();
            for (int c = 0; c < texts.size() && c < static_cast<int>(widths.size()); ++c) {
                const double width = widths[static_cast<std::size_t>(c)] - GapPt * Pt;
                Painter->setFont(textFont);
                const QRectF used =
                    text.boundingRect(QRectF(0, 0, width, 1e9), CellFlags, texts[c]);
                Painter->drawText(QRectF(x, Y, width, used.height()), CellFlags, texts[c]);
                if (c < static_cast<int>(cells.size())) {
                    Painter->setFont(noteFont);
                    Painter->drawText(QRectF(x, Y + used.height(), width, height), CellFlags,
                                      cells[static_cast<std::size_t>(c)].Note);
                }
                x += widths[static_cast<std::size_t>(c)];
            }
            const double rule = Y + height - 1 * Pt;
            Painter->setPen(QPen(Qt::black, header ? 0.8 * Pt : 0.25 * Pt));
            Painter->drawLine(QPointF(Area.left(), rule), QPointF(Area.left() + Sum(widths), rule));
        }
        Y += height;
    }

    QPdfWriter& Writer;
    QPainter* Painter;
    const int Total;
    const QString Footer;
    const double Pt; // device units per point
    QRectF Area;
    double Y = 0;
    int Page = 1;
};

Table Channels(const TReport& report, int32_t grid)
{
    Table table;
    const bool sensor = grid == GridSensor;
    table.Headers << QStringLiteral("Channel");
    if (sensor)
        for (const char* header : TSettingKeys::SensorHeaders)
            table.Headers << QString::fromLatin1(header);
    else
        for (const char* header : TSettingKeys::ThermistorHeaders)
            table.Headers << QString::fromLatin1(header);
    const int rows = sensor ? TSettingKeys::SensorRows : TSettingKeys::ThermistorRows;
    table.Rows.resize(static_cast<std::size_t>(rows));
    for (int r = 0; r < rows; ++r)
        table.Rows[static_cast<std::size_t>(r)].push_back(
            {QStringLiteral("%1%2").arg(sensor ? "S" : "T").arg(r), {}});
    for (std::size_t i = 0; i < TSettingKeys::All().size(); ++i) {
        const TSettingKey& key = TSettingKeys::All()[i];
        if (key.GridId != grid)
            continue;
        const TReport::Value& value = report.Values[i];
        table.Rows[static_cast<std::size_t>(key.Row - 1)].push_back(
            {Shown(value.Text), QString::fromLatin1(TReport::WordOf(value.State))});
    }
    return table;
}

void Lay(Pages& pages, const TReport& report)
{
    const QFont body = pages.Font(9.5);
    pages.Paragraph(QString::fromLatin1(Title), pages.Font(18, true), 120);
    pages.Gap(6);
    const auto fact = [&](const char* name, const QString& text) {
        pages.Paragraph(QString::fromLatin1(name) + ": " + text, body);
    };
    fact("Date and time", QString::fromStdString(TReportPdf::LocalTime(report.At)));
    fact("Program", QStringLiteral("devconfig ") + Shown(report.Version));
    fact("Adapter", report.AdapterDescription.empty() ? QStringLiteral("not known")
                                                      : Shown(report.AdapterDescription));
    fact("Serial number",
         report.AdapterSerial.empty() ? QStringLiteral("none") : Shown(report.AdapterSerial));
    fact("Port", report.Port.empty() ? QStringLiteral("not opened") : Shown(report.Port));
    if (!report.Run.empty())
        fact("Done", Shown(report.Run));
    if (!report.Ending.empty())
        fact("Ended", Shown(report.Ending));
    pages.Gap(4);
    pages.Paragraph(
        QStringLiteral("Under each value, its state: read (as the instrument holds it), "
                       "confirmed (written and read back as written), not confirmed, not taken "
                       "(the instrument kept another value), no answer, never sent, reply too "
                       "long, looks wrong (text where a number belongs)."),
        pages.Font(8, false, true));

    pages.Heading(QStringLiteral("Sensor channels"), 12);
    pages.Put(Channels(report, GridSensor));
    pages.Heading(QStringLiteral("Thermistor channels"), 12);
    pages.Put(Channels(report, GridThermistor));

    pages.Heading(QStringLiteral("Written"), 12);
    if (report.Writes.empty()) {
        pages.Paragraph(QStringLiteral("Nothing was written."), body);
    } else {
        Table writes;
        writes.Headers << "Key"
                       << "Old value"
                       << "New value"
                       << "Result";
        for (const TReport::Write& write : report.Writes)
            writes.Rows.push_back(
                {{Shown(write.Key), {}},
                 {write.Old.empty() ? QStringLiteral("(not known)") : Shown(write.Old), {}},
                 {Shown(write.New), {}},
                 {QString::fromLatin1(TReport::WordOf(write.Outcome)), {}}});
        pages.Put(writes);
    }

    if (report.Compared) {
        pages.Heading(QStringLiteral("Compared with a settings file"), 12);
        pages.Paragraph(QStringLiteral("File: ") + Shown(report.ComparedFile), body, 30);
        if (report.Differences.empty()) {
            pages.Paragraph(QStringLiteral("No differences."), body);
        } else {
            Table differences;
            differences.Headers << "Key"
                                << "Instrument"
                                << "File";
            for (const TReport::Difference& d : report.Differences)
                differences.Rows.push_back(
                    {{Shown(d.Key), {}}, {Shown(d.Instrument), {}}, {Shown(d.File), {}}});
            pages.Put(differences);
        }
    }
}

} // namespace

std::string TReportPdf::LocalTime(std::time_t at)
{
    const QDateTime local = QDateTime::fromSecsSinceEpoch(at);
    const int offset = local.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toStdString() +
           (offset < 0 ? "-" : "+") +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'))
               .toStdString();
}

QPageSize::PageSizeId TReportPdf::PageSizeFor(const QLocale& locale)
{
    if (locale.measurementSystem() == QLocale::ImperialUSSystem)
        return QPageSize::Letter;
    switch (locale.territory()) {
    case QLocale::UnitedStates:
    case QLocale::Canada:
    case QLocale::Mexico:
    case QLocale::Chile:
    case QLocale::Colombia:
    case QLocale::Philippines:
    case QLocale::PuertoRico:
        return QPageSize::Letter;
    default:
        return QPageSize::A4;
    }
}

QByteArray TReportPdf::Render(const TReport& report, QPageSize::PageSizeId size)
{
    // The font engines are shared: one report at a time (a batch writes one per instrument).
    static std::mutex oneAtATime;
    const std::lock_guard<std::mutex> guard(oneAtATime);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setPageSize(QPageSize(size));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setResolution(600);
    writer.setTitle(QString::fromLatin1(Title));
    writer.setCreator(QStringLiteral("devconfig ") + QString::fromStdString(report.Version));
    const QString footer = QStringLiteral("devconfig %1 %2, %3")
                               .arg(Shown(report.Version), QString::fromLatin1(Title).toLower(),
                                    QString::fromStdString(LocalTime(report.At)));
    Pages measured(writer, nullptr, 0, footer);
    Lay(measured, report);
    QPainter painter(&writer);
    Pages painted(writer, &painter, measured.Count(), footer);
    Lay(painted, report);
    painted.Finish();
    painter.end();
    return bytes;
}

std::optional<std::string> TReportPdf::Write(const TReport& report, const std::string& path)
{
    const QByteArray bytes = Render(report, PageSizeFor(QLocale::system()));
    if (bytes.isEmpty())
        return std::string("The report could not be laid out as a PDF.");
    if (auto problem = WriteFileAtomically(path, bytes.toStdString()))
        return "The report was not written: " + *problem + ".";
    return std::nullopt;
}
