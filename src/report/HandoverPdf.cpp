#include "HandoverPdf.h"

#include "file/RegularFile.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QTextLayout>

#include <algorithm>
#include <filesystem>
#include <utility>

namespace orv::report {
namespace {

constexpr int kDpi = 300;
constexpr double kMargin = 15.0; // mm
constexpr int kPictureWidth = 640;

double mm(double millimetres) {
    return millimetres * kDpi / 25.4;
}

// A camera names itself: its text is shown, never obeyed. Control
// characters (a newline, an escape) would move or hide what follows them.
QString shown(const std::string& text) {
    QString out = QString::fromStdString(text);
    for (QChar& c : out) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
            c = QChar(0xfffd);
        }
    }
    return out;
}

QFont font(double points, bool bold = false) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points);
    f.setBold(bold);
    // No ligatures: a reader searching the PDF for "firmware" or "off"
    // would not find them written with one glyph for "fi" or "ff".
    f.setStyleStrategy(QFont::PreferNoShaping);
    return f;
}

// Draws the report page by page. The same walk runs twice: once to count
// the pages (nothing drawn), then to draw them with "page n of N".
class CReportPainter {
public:
    CReportPainter(QPdfWriter& writer, QPainter* painter, int pages)
        : m_writer(writer), m_painter(painter), m_pages(pages) {
        m_width = writer.width() - 2 * mm(kMargin);
        m_bottom = writer.height() - mm(kMargin + 8);
    }

    int Walk(const HandoverReport& report) {
        m_report = &report;
        startPage();
        firstPage();
        int n = 0;
        for (const ReportCamera& camera : report.cameras) {
            cameraSection(camera, ++n);
        }
        jobsSection();
        footer();
        return m_page;
    }

private:
    bool drawing() const { return m_painter != nullptr; }

    void startPage() {
        ++m_page;
        m_y = mm(kMargin);
        if (drawing()) {
            m_painter->setFont(font(7.5));
            m_painter->setPen(QColor(90, 90, 90));
            const QRectF line(mm(kMargin), m_y, m_width, mm(5));
            m_painter->drawText(line, Qt::AlignLeft | Qt::AlignVCenter,
                                shown(m_report->site) + QStringLiteral(" — handover report — ") +
                                    shown(m_report->date));
            m_painter->setPen(Qt::black);
        }
        m_y += mm(8);
    }

    void footer() {
        if (drawing()) {
            m_painter->setFont(font(7.5));
            m_painter->setPen(QColor(90, 90, 90));
            m_painter->drawText(QRectF(mm(kMargin), m_bottom + mm(2), m_width, mm(5)),
                                Qt::AlignRight | Qt::AlignVCenter,
                                QStringLiteral("page %1 of %2").arg(m_page).arg(m_pages));
            m_painter->setPen(Qt::black);
        }
    }

    void newPage() {
        footer();
        if (drawing()) {
            m_writer.newPage();
        }
        startPage();
    }

    // Starts a new page unless `height` still fits on this one.
    void need(double height) {
        if (m_y + height > m_bottom) {
            newPage();
        }
    }

    // Lays `text` out in `width`, wrapped between words (inside a word only
    // where one word is wider than the line: a MAC in a narrow column);
    // draws it at (x, y) when drawing. Its height.
    double text(const QString& text, const QFont& f, double x, double y, double width,
                QColor colour = Qt::black) {
        QTextLayout layout(text, f, &m_writer);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        double height = 0;
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            line.setPosition(QPointF(0, height));
            height += line.height();
        }
        layout.endLayout();
        if (drawing()) {
            m_painter->setPen(colour);
            layout.draw(m_painter, QPointF(x, y));
            m_painter->setPen(Qt::black);
        }
        return height;
    }
    double textHeight(const QString& t, const QFont& f, double width) {
        QPainter* painter = std::exchange(m_painter, nullptr);
        const double height = text(t, f, 0, 0, width);
        m_painter = painter;
        return height;
    }

    // A paragraph at the left margin (or `left` within it); moves down.
    void paragraph(const QString& t, const QFont& f, double left = 0, double after = 1.5,
                   QColor colour = Qt::black) {
        const double width = m_width - left;
        need(textHeight(t, f, width));
        m_y += text(t, f, mm(kMargin) + left, m_y, width, colour) + mm(after);
    }

    // A table: shares of the width per column, a header row repeated on
    // each page it runs over, cells wrapped rather than cut (a long name
    // is still read whole).
    void table(const std::vector<double>& shares, const QStringList& header,
               const std::vector<QStringList>& rows) {
        const QFont head = font(8, true);
        const QFont body = font(8);
        const double pad = mm(1);
        const auto height = [&](const QStringList& cells, const QFont& f) {
            double h = 0;
            for (int i = 0; i < cells.size(); ++i) {
                h = std::max(h,
                             textHeight(cells[i], f,
                                        m_width * shares[static_cast<std::size_t>(i)] - 2 * pad));
            }
            return h + 2 * pad;
        };
        const auto row = [&](const QStringList& cells, const QFont& f, bool shaded) {
            const double h = height(cells, f);
            if (drawing()) {
                m_painter->setFont(f);
                if (shaded) {
                    m_painter->fillRect(QRectF(mm(kMargin), m_y, m_width, h),
                                        QColor(225, 230, 238));
                }
                double x = mm(kMargin);
                for (int i = 0; i < cells.size(); ++i) {
                    const double w = m_width * shares[static_cast<std::size_t>(i)];
                    text(cells[i], f, x + pad, m_y + pad, w - 2 * pad);
                    x += w;
                }
                m_painter->setPen(QPen(QColor(190, 190, 190), mm(0.2)));
                m_painter->drawLine(QPointF(mm(kMargin), m_y + h),
                                    QPointF(mm(kMargin) + m_width, m_y + h));
                m_painter->setPen(Qt::black);
            }
            m_y += h;
        };
        const double headHeight = height(header, head);
        need(headHeight + (rows.empty() ? 0 : height(rows.front(), body)));
        row(header, head, true);
        for (const QStringList& cells : rows) {
            if (m_y + height(cells, body) > m_bottom) {
                newPage();
                row(header, head, true);
            }
            row(cells, body, false);
        }
        m_y += mm(4);
    }

    void firstPage() {
        const HandoverReport& r = *m_report;
        paragraph(QStringLiteral("Handover report"), font(20, true), 0, 3);
        paragraph(QStringLiteral("Site: ") + shown(r.site), font(11));
        paragraph(QStringLiteral("Date: ") + shown(r.date), font(11));
        paragraph(QStringLiteral("Installer: ") +
                      (r.installer.empty() ? QStringLiteral("(not given)") : shown(r.installer)),
                  font(11));
        int online = 0;
        for (const ReportCamera& c : r.cameras) {
            online += c.state == "online" ? 1 : 0;
        }
        paragraph(
            QStringLiteral("%1 cameras, %2 of them read now.").arg(r.cameras.size()).arg(online),
            font(11));
        paragraph(QStringLiteral("Made by ") + shown(r.tool) + QStringLiteral(" at ") +
                      shown(r.madeAt) + QStringLiteral("."),
                  font(8), 0, 3, QColor(90, 90, 90));
        if (r.withPasswords) {
            paragraph(QStringLiteral("This report holds the cameras' passwords. Keep it as you "
                                     "would keep the passwords themselves."),
                      font(10, true), 0, 3, QColor(170, 0, 0));
        }
        paragraph(QStringLiteral("Cameras"), font(13, true), 0, 2);
        std::vector<QStringList> rows;
        for (const ReportCamera& c : r.cameras) {
            rows.push_back({shown(c.name), shown(c.mac), shown(c.ip), shown(c.model),
                            shown(c.firmware), shown(c.protocol), shown(c.state)});
        }
        table({0.19, 0.16, 0.11, 0.11, 0.10, 0.14, 0.19},
              {"Name", "MAC", "IP", "Model", "Firmware", "Protocol", "State"}, rows);
    }

    void cameraSection(const ReportCamera& c, int number) {
        if (number == 1) {
            newPage();
        }
        const QFont label = font(8.5, true);
        const QFont value = font(8.5);
        const double pictureWidth = mm(85);
        const double gap = mm(5);
        const double textLeft = pictureWidth + gap;
        const double textWidth = m_width - textLeft;
        const double labelWidth = mm(29);

        std::vector<std::pair<QString, QString>> lines;
        lines.emplace_back("State", shown(c.state));
        for (const SettingLine& s : c.settings) {
            lines.emplace_back(shown(s.label), shown(s.value));
        }
        if (c.password) {
            lines.emplace_back("Password", c.password->empty() ? QStringLiteral("(none kept)")
                                                               : shown(*c.password));
        }
        double linesHeight = 0;
        for (const auto& [l, v] : lines) {
            linesHeight += textHeight(v, value, textWidth - labelWidth) + mm(1.2);
        }
        QImage picture;
        if (!c.picture.empty()) {
            picture.loadFromData(reinterpret_cast<const uchar*>(c.picture.data()),
                                 static_cast<int>(c.picture.size()), "JPG");
        }
        const double pictureHeight =
            picture.isNull()
                ? mm(30)
                : std::min(mm(70), pictureWidth * picture.height() / std::max(1, picture.width()));
        const QString heading = QStringLiteral("%1. ").arg(number) +
                                (c.name.empty() ? QStringLiteral("(no name)") : shown(c.name));
        const QString identity = shown(c.mac) + QStringLiteral("   ") + shown(c.ip) +
                                 QStringLiteral("   ") + shown(c.model) +
                                 QStringLiteral("   firmware ") + shown(c.firmware);
        const double headHeight = textHeight(heading, font(12, true), m_width) +
                                  textHeight(identity, value, m_width) + mm(3);
        need(headHeight + std::max(pictureHeight, linesHeight) + mm(6));
        paragraph(heading, font(12, true), 0, 0.5);
        paragraph(identity, value, 0, 2, QColor(60, 60, 60));
        const double top = m_y;
        if (drawing()) {
            const QRectF frame(mm(kMargin), top, pictureWidth, pictureHeight);
            if (!picture.isNull()) {
                m_painter->drawImage(frame, picture);
            } else {
                m_painter->fillRect(frame, QColor(235, 235, 235));
                m_painter->setFont(value);
                m_painter->setPen(QColor(90, 90, 90));
                m_painter->drawText(
                    frame.adjusted(mm(2), mm(2), -mm(2), -mm(2)),
                    Qt::AlignCenter | Qt::TextWordWrap,
                    QStringLiteral("no picture") +
                        (c.pictureNote.empty() ? QString() : ": " + shown(c.pictureNote)));
                m_painter->setPen(Qt::black);
            }
        }
        double y = top;
        for (const auto& [l, v] : lines) {
            text(l, label, mm(kMargin) + textLeft, y, labelWidth);
            y += text(v, value, mm(kMargin) + textLeft + labelWidth, y, textWidth - labelWidth) +
                 mm(1.2);
        }
        m_y = top + std::max(pictureHeight, linesHeight) + mm(6);
    }

    void jobsSection() {
        const HandoverReport& r = *m_report;
        need(mm(40));
        paragraph(QStringLiteral("Today's jobs"), font(13, true), 0, 2);
        if (r.jobs.empty()) {
            paragraph(QStringLiteral("No job was run on this site today."), font(9));
            return;
        }
        std::vector<QStringList> rows;
        for (const ReportJob& j : r.jobs) {
            rows.push_back({shown(j.time), shown(j.name), shown(j.user), QString::number(j.cameras),
                            QString::number(j.failed)});
        }
        table({0.10, 0.40, 0.20, 0.15, 0.15}, {"Time", "Job", "User", "Cameras", "Failed"}, rows);
    }

    QPdfWriter& m_writer;
    QPainter* m_painter;
    const int m_pages;
    const HandoverReport* m_report = nullptr;
    double m_width = 0;
    double m_bottom = 0;
    double m_y = 0;
    int m_page = 0;
};

std::string suffixOf(const std::string& file) {
    std::string suffix = std::filesystem::path(file).extension().string();
    std::transform(suffix.begin(), suffix.end(), suffix.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return suffix;
}

} // namespace

std::string WriteHandoverPdf(const HandoverReport& report, const std::string& file) {
    QBuffer bytes;
    bytes.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&bytes);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setResolution(kDpi);
        writer.setTitle(QStringLiteral("Handover report ") + shown(report.site) +
                        QStringLiteral(" ") + shown(report.date));
        writer.setCreator(shown(report.tool));
        const int pages = CReportPainter(writer, nullptr, 0).Walk(report);
        QPainter painter;
        if (!painter.begin(&writer)) {
            return "the PDF could not be started";
        }
        CReportPainter(writer, &painter, pages).Walk(report);
        painter.end();
    }
    const FileError written = WriteRegularFile(
        file, std::string_view(bytes.data().constData(), static_cast<std::size_t>(bytes.size())),
        report.withPasswords ? Readers::OwnerOnly : Readers::Umask);
    return written == FileError::None ? std::string() : std::string(Describe(written));
}

std::string JpegOf(const device::VideoFrame& frame) {
    // The pixels are B, G, R, unused in memory: Qt's RGB32 on the
    // little-endian machines the tool runs on.
    const QImage view(frame.pixels, frame.width, frame.height, frame.stride, QImage::Format_RGB32);
    const QImage picture = frame.width > kPictureWidth
                               ? view.scaledToWidth(kPictureWidth, Qt::SmoothTransformation)
                               : view.copy();
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    if (!picture.save(&out, "JPG", 85)) {
        return {};
    }
    return out.data().toStdString();
}

std::string WriteReport(const HandoverReport& report, const std::string& file) {
    const std::string suffix = suffixOf(file);
    if (suffix == ".pdf") {
        return WriteHandoverPdf(report, file);
    }
    if (suffix != ".csv" && suffix != ".json") {
        return "the file's name must end in .pdf, .csv or .json";
    }
    const std::string text = suffix == ".csv" ? ReportCsv(report) : ReportJson(report);
    const FileError written =
        WriteRegularFile(file, text, report.withPasswords ? Readers::OwnerOnly : Readers::Umask);
    return written == FileError::None ? std::string() : std::string(Describe(written));
}

} // namespace orv::report
