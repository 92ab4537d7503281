// manual-pdf: turns the Markdown user manual into an A4 PDF with Qt's own text layout and
// PDF writer, so the build needs no document toolchain.
//
//   manual-pdf manual.md manual.pdf [PICTURES-FOLDER]
//
// Pictures the manual names are looked for in PICTURES-FOLDER, made during the build.

#include <QAbstractTextDocumentLayout>
#include <QColor>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextFrameFormat>
#include <QTextImageFormat>
#include <QTextLength>
#include <QTextTable>
#include <QTextTableCell>
#include <QTextTableFormat>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

const char* const Title = "Device Configuration - User Manual";
constexpr int BodyPointSize = 10;
constexpr int FooterPointSize = 8;
// A heading needs this much room below it on its page, or it moves to the next page.
constexpr double KeepWithNextMm = 30.0;
const QMarginsF PageMarginsMm(20.0, 18.0, 20.0, 16.0);
// The window marks cells in these colours.
const QColor UnconfirmedColour(255, 244, 160);
const QColor UnsafeColour(234, 150, 110);
const QColor HeaderGround(232, 232, 232);
const QColor CodeGround(240, 240, 240);
const QColor RuleColour(150, 150, 150);

double MmToPixels(double mm, int dpi)
{
    return mm / 25.4 * dpi;
}

QFont BodyFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Arial")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(BodyPointSize);
    return font;
}

// Indented and fenced code blocks: the Markdown reader sets them in a fixed-pitch font.
bool IsCode(const QTextBlock& block)
{
    return block.blockFormat().hasProperty(QTextFormat::BlockCodeFence) ||
           block.charFormat().fontFixedPitch() ||
           block.charFormat().fontFamilies().toStringList().contains(
               QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
}

bool ReadText(const char* path, QString& text)
{
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    text = QString::fromUtf8(file.readAll());
    return true;
}

// Air above the headings; the title is centred; code lines stand out on a grey ground.
void StyleBlocks(QTextDocument& doc)
{
    QTextCursor cursor(&doc);
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        QTextBlockFormat format = block.blockFormat();
        const int level = format.headingLevel();
        if (level == 1) {
            format.setAlignment(Qt::AlignHCenter);
            format.setBottomMargin(18);
        } else if (level > 1) {
            format.setTopMargin(level == 2 ? 16 : 10);
            format.setBottomMargin(6);
        } else if (IsCode(block)) {
            format.setBackground(CodeGround);
            format.setLeftMargin(12);
            format.setTopMargin(4);
            format.setBottomMargin(8);
        } else {
            continue;
        }
        cursor.setPosition(block.position());
        cursor.setBlockFormat(format);
    }
}

// The colour a table cell stands for when it names one of the window's cell marks.
QColor MarkColour(const QString& cellText)
{
    if (cellText == QLatin1String("yellow"))
        return UnconfirmedColour;
    if (cellText == QLatin1String("orange"))
        return UnsafeColour;
    return {};
}

void StyleTable(QTextTable& table)
{
    QTextTableFormat format = table.format();
    format.setBorderCollapse(true);
    format.setBorder(1);
    format.setBorderBrush(RuleColour);
    format.setCellSpacing(0);
    format.setCellPadding(4);
    format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
    table.setFormat(format);

    for (int row = 0; row < table.rows(); ++row)
        for (int column = 0; column < table.columns(); ++column) {
            QTextTableCell cell = table.cellAt(row, column);
            const QTextCursor start = cell.firstCursorPosition();
            const QTextCursor end = cell.lastCursorPosition();
            QTextCursor content(start);
            content.setPosition(end.position(), QTextCursor::KeepAnchor);
            QColor ground = row == 0 ? HeaderGround : MarkColour(content.selectedText());
            if (!ground.isValid())
                continue;
            QTextCharFormat cellFormat = cell.format();
            cellFormat.setBackground(ground);
            cell.setFormat(cellFormat);
        }
}

void StyleTables(QTextDocument& doc)
{
    for (QTextFrame* frame : doc.rootFrame()->childFrames())
        if (auto* table = qobject_cast<QTextTable*>(frame))
            StyleTable(*table);
}

// A copy of the document laid out in pages of the given size on the given device. Each layout
// starts afresh: a layout updated after a page break was set has been seen to lose text.
std::unique_ptr<QTextDocument> LaidOut(const QTextDocument& source, QPaintDevice* device,
                                       const QSizeF& page)
{
    std::unique_ptr<QTextDocument> doc(source.clone());
    doc->setDefaultFont(source.defaultFont());
    // Laid out for the device's resolution, so point sizes and margins come out true.
    doc->documentLayout()->setPaintDevice(device);
    QTextFrameFormat frame = doc->rootFrame()->frameFormat();
    frame.setMargin(0);
    doc->rootFrame()->setFrameFormat(frame);
    doc->setPageSize(page);
    return doc;
}

// The position of the first heading that stands at the foot of a page with less than `room`
// below it, or -1.
int StrandedHeading(const QTextDocument& doc, double room)
{
    const double pageHeight = doc.pageSize().height();
    QAbstractTextDocumentLayout* layout = doc.documentLayout();
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        const QTextBlockFormat format = block.blockFormat();
        if (format.headingLevel() < 2 || format.pageBreakPolicy() != QTextFormat::PageBreak_Auto)
            continue;
        const QRectF box = layout->blockBoundingRect(block);
        const int page = static_cast<int>(box.top() / pageHeight);
        if ((page + 1) * pageHeight - box.bottom() < room)
            return block.position();
    }
    return -1;
}

// Moves to the next page every heading that would stand at the foot of a page without the
// text it introduces. One heading at a time, since each move shifts all that follows.
std::unique_ptr<QTextDocument> Paginate(QTextDocument& doc, QPaintDevice* device,
                                        const QSizeF& page, double room)
{
    for (;;) {
        std::unique_ptr<QTextDocument> laidOut = LaidOut(doc, device, page);
        const int position = StrandedHeading(*laidOut, room);
        if (position < 0)
            return laidOut;
        QTextCursor cursor(&doc);
        cursor.setPosition(position);
        QTextBlockFormat format = cursor.blockFormat();
        format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        cursor.setBlockFormat(format);
    }
}

void DrawFooter(QPainter& painter, const QRectF& area, int page, int pages)
{
    painter.save();
    QFont font = BodyFont();
    font.setPointSize(FooterPointSize);
    painter.setFont(font);
    painter.setPen(Qt::darkGray);
    painter.drawText(area, Qt::AlignLeft | Qt::AlignBottom, QString::fromLatin1(Title));
    painter.drawText(area, Qt::AlignRight | Qt::AlignBottom,
                     QStringLiteral("Page %1 of %2").arg(page).arg(pages));
    painter.restore();
}

// Pictures keep the size they have on a 96 dpi screen, and no more than the page's width.
bool ScalePictures(QTextDocument& doc, int dpi, double pageWidth)
{
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            QTextImageFormat format = fragment.charFormat().toImageFormat();
            if (!format.isValid())
                continue;
            const QImage image =
                doc.resource(QTextDocument::ImageResource, QUrl(format.name())).value<QImage>();
            if (image.isNull()) {
                std::fprintf(stderr, "manual-pdf: no picture %s\n", qPrintable(format.name()));
                return false;
            }
            const double scale = std::min(dpi / 96.0, pageWidth / image.width());
            format.setWidth(image.width() * scale);
            format.setHeight(image.height() * scale);
            QTextCursor cursor(&doc);
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(format);
        }
    return true;
}

bool WritePdf(QTextDocument& doc, const char* path)
{
    QPdfWriter writer(QString::fromLocal8Bit(path));
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(PageMarginsMm, QPageLayout::Millimeter);
    writer.setTitle(QString::fromLatin1(Title));
    writer.setCreator(QStringLiteral("manual-pdf"));

    const int dpi = writer.resolution();
    const QSizeF paint(writer.width(), writer.height());
    const double footerHeight = MmToPixels(10.0, dpi);
    const QSizeF body(paint.width(), paint.height() - footerHeight);
    if (!ScalePictures(doc, dpi, body.width()))
        return false;

    const std::unique_ptr<QTextDocument> laidOut =
        Paginate(doc, &writer, body, MmToPixels(KeepWithNextMm, dpi));

    QPainter painter;
    if (!painter.begin(&writer))
        return false;
    const int pages = laidOut->pageCount();
    for (int page = 0; page < pages; ++page) {
        if (page > 0)
            writer.newPage();
        painter.save();
        painter.translate(0, -page * body.height());
        laidOut->drawContents(&painter, QRectF(QPointF(0, page * body.height()), body));
        painter.restore();
        DrawFooter(painter, QRectF(QPointF(0, 0), paint), page + 1, pages);
    }
    return painter.end();
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: manual-pdf MANUAL.md OUTPUT.pdf [PICTURES-FOLDER]\n");
        return 2;
    }
    // Runs during the build, where there may be no display.
    std::vector<char*> qtArgs{argv[0], const_cast<char*>("-platform"),
                              const_cast<char*>("offscreen")};
    int qtArgc = static_cast<int>(qtArgs.size());
    qtArgs.push_back(nullptr);
    QGuiApplication app(qtArgc, qtArgs.data());

    QString markdown;
    if (!ReadText(argv[1], markdown)) {
        std::fprintf(stderr, "manual-pdf: cannot read %s\n", argv[1]);
        return 1;
    }
    QTextDocument doc;
    if (argc == 4)
        doc.setBaseUrl(QUrl::fromLocalFile(QString::fromLocal8Bit(argv[3]) + '/'));
    doc.setDefaultFont(BodyFont());
    doc.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
    StyleBlocks(doc);
    StyleTables(doc);
    if (doc.isEmpty()) {
        std::fprintf(stderr, "manual-pdf: %s holds no text\n", argv[1]);
        return 1;
    }
    if (!WritePdf(doc, argv[2])) {
        std::fprintf(stderr, "manual-pdf: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
