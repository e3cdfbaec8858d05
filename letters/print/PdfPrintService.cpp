#include "PdfPrintService.h"

#include "Cp1252.h"
#include "FileUtil.h"
#include "RtfDocument.h"

#include <QAbstractTextDocumentLayout>
#include <QColor>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextOption>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define VVP_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VVP_LEAK_CHECKED 1
#endif
#endif

#ifdef VVP_LEAK_CHECKED
// fontconfig keeps a few blocks of its configuration for the life of the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
#endif

namespace vvp {

namespace {

constexpr int kDpi = 1200;
constexpr qreal kMarginMm = 18.0;
constexpr int kDefaultTab = 720; // twips: half an inch, the RTF default

// Qt's text layout takes indents, margins and tab stops in units of 1/96 inch and scales them to
// the device itself; RTF measures are twips (1/1440 inch).
qreal FromTwips(int twips) {
    return twips / 15.0;
}

QString FromCp1252(const std::string& text) {
    QString out;
    out.reserve(static_cast<qsizetype>(text.size()));
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\v')
            out += QChar(QChar::LineSeparator);
        else if (c == '\t')
            out += QChar(u'\t');
        else if (c < 0x20 || c == 0x7F)
            out += QChar(u' ');
        else
            out += Cp1252ToQChar(c);
    }
    return out;
}

// Qt's notes about the missing desktop session of a service are noise in vvpd's output; its
// real failures still reach standard error.
void QuietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", qPrintable(message));
}

// Fonts and text layout need a Qt Gui application; a process without one (vvpd, tests) gets
// an offscreen one, so no display is needed.
bool EnsureGuiApplication() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (QCoreApplication::instance()) return;
        qInstallMessageHandler(QuietQtMessages);
        static int argc = 3;
        static char arg0[] = "vvp";
        static char arg1[] = "-platform";
        static char arg2[] = "offscreen";
        static char* argv[] = {arg0, arg1, arg2, nullptr};
        static QGuiApplication* app = new QGuiApplication(argc, argv);
        (void)app;
    });
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

Qt::Alignment ToQt(RtfAlignment alignment) {
    switch (alignment) {
    case RtfAlignment::Centre:
        return Qt::AlignHCenter;
    case RtfAlignment::Right:
        return Qt::AlignRight;
    case RtfAlignment::Justify:
        return Qt::AlignJustify;
    case RtfAlignment::Left:
        break;
    }
    return Qt::AlignLeft;
}

QTextOption::Tab ToQt(const RtfTabStop& stop) {
    switch (stop.kind) {
    case RtfTabKind::Centre:
        return QTextOption::Tab(FromTwips(stop.position), QTextOption::CenterTab);
    case RtfTabKind::Right:
        return QTextOption::Tab(FromTwips(stop.position), QTextOption::RightTab);
    case RtfTabKind::Decimal:
        return QTextOption::Tab(FromTwips(stop.position), QTextOption::DelimiterTab, QChar(u'.'));
    case RtfTabKind::Left:
        break;
    }
    return QTextOption::Tab(FromTwips(stop.position), QTextOption::LeftTab);
}

QTextCharFormat CharFormat(const RtfRun& run) {
    QTextCharFormat format;
    if (!run.fontName.empty()) format.setFontFamilies({FromCp1252(run.fontName)});
    format.setFontPointSize(run.fontSize > 0 ? run.fontSize / 2.0 : 12.0);
    format.setFontWeight(run.bold ? QFont::Bold : QFont::Normal);
    format.setFontItalic(run.italic);
    format.setFontUnderline(run.underline);
    if (!run.colour.automatic)
        format.setForeground(QColor(run.colour.red, run.colour.green, run.colour.blue));
    return format;
}

QTextBlockFormat BlockFormat(const RtfParagraph& p) {
    QTextBlockFormat format;
    format.setAlignment(ToQt(p.alignment));
    format.setLeftMargin(FromTwips(p.leftIndent));
    format.setRightMargin(FromTwips(p.rightIndent));
    format.setTextIndent(FromTwips(p.firstLineIndent));
    format.setTopMargin(FromTwips(p.spaceBefore));
    format.setBottomMargin(FromTwips(p.spaceAfter));
    QList<QTextOption::Tab> tabs;
    for (const auto& stop : p.tabStops)
        tabs.append(ToQt(stop));
    format.setTabPositions(tabs);
    return format;
}

void Fill(QTextDocument& doc, const std::vector<RtfParagraph>& paragraphs) {
    QTextCursor cursor(&doc);
    bool first = true;
    for (const auto& p : paragraphs) {
        // An empty paragraph is as high as the text that would be typed into it.
        const QTextCharFormat blockChar = p.runs.empty() ? CharFormat(RtfRun{}) : CharFormat(p.runs.front());
        if (first) {
            cursor.setBlockFormat(BlockFormat(p));
            cursor.setBlockCharFormat(blockChar);
            first = false;
        } else {
            cursor.insertBlock(BlockFormat(p), blockChar);
        }
        for (const auto& run : p.runs)
            cursor.insertText(FromCp1252(run.text), CharFormat(run));
    }
}

} // namespace

Result<void> RenderRtfToPdf(const RtfDocument& document, const std::string& title, const std::string& path) {
    if (!EnsureGuiApplication()) return Error{"Printing to PDF needs a Qt Gui application"};
    QPdfWriter writer(QFile::decodeName(path.c_str()));
    writer.setResolution(kDpi);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm),
                                     QPageLayout::Millimeter));
    writer.setTitle(FromCp1252(title));
    writer.setCreator(QStringLiteral("Vocanet Virtual Printer"));

    QTextDocument doc;
    doc.documentLayout()->setPaintDevice(&writer);
    doc.setDocumentMargin(0);
    QTextOption option = doc.defaultTextOption();
    option.setTabStopDistance(FromTwips(kDefaultTab));
    doc.setDefaultTextOption(option);
    Fill(doc, document.Paragraphs());

    const QRect page = writer.pageLayout().paintRectPixels(kDpi);
    const qreal width = page.width();
    const qreal height = page.height();
    doc.setPageSize(QSizeF(width, height));

    QPainter painter;
    if (!painter.begin(&writer)) return Error{"Cannot write the PDF file \"" + path + "\""};
    const int pages = doc.pageCount();
    for (int i = 0; i < pages; ++i) {
        if (i > 0) writer.newPage();
        painter.save();
        painter.translate(0, -i * height);
        doc.drawContents(&painter, QRectF(0, i * height, width, height));
        painter.restore();
    }
    if (!painter.end()) return Error{"Cannot write the PDF file \"" + path + "\""};
    return Ok();
}

std::string PdfFileName(const std::string& jobTitle) {
    std::string name;
    for (const char ch : jobTitle) {
        const auto c = static_cast<unsigned char>(ch);
        const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                          std::string_view(" .,-_()+&").find(ch) != std::string_view::npos;
        name += safe ? ch : '_';
        if (name.size() == 100) break;
    }
    const auto first = name.find_first_not_of(" .");
    const auto last = name.find_last_not_of(" .");
    name = first == std::string::npos ? std::string() : name.substr(first, last - first + 1);
    if (name.empty()) name = "Printout";
    return name + ".pdf";
}

PdfPrintService::PdfPrintService(FolderSource folder, std::string printerName, ActivityLog* log)
    : m_folder(std::move(folder)), m_printerName(std::move(printerName)), m_log(log) {
    EnsureGuiApplication();
}

std::string PdfPrintService::LastFile() const {
    std::lock_guard lock(m_mutex);
    return m_lastFile;
}

Result<void> PdfPrintService::Print(const RtfDocument& document, const std::string& jobTitle,
                                    const std::string& printer) {
    if (!printer.empty() && printer != m_printerName)
        return Error{"Printer \"" + printer + "\" is not available"};
    std::lock_guard lock(m_mutex);
    const std::string configured = m_folder ? m_folder() : std::string();
    if (configured.empty()) return Error{"No print folder is set"};
    const std::string folder = IncludeTrailingSeparator(configured);
    if (auto made = ForceDirectories(folder); !made) return made.error().WithContext("Cannot print: ");

    const std::string name = PdfFileName(jobTitle);
    const std::string stem = name.substr(0, name.size() - 4);
    // Rendered under a temporary name first: a program watching the folder never sees half a PDF.
    const std::string temp = folder + stem + "." + std::to_string(getpid()) + ".___";
    if (auto rendered = RenderRtfToPdf(document, jobTitle, temp); !rendered) {
        DeleteFileIfExists(temp);
        return rendered;
    }
    for (int n = 1; n <= 9999; ++n) {
        const std::string target = folder + (n == 1 ? name : stem + " (" + std::to_string(n) + ").pdf");
        auto moved = MoveFileNoReplace(temp, target);
        if (moved) {
            m_lastFile = target;
            if (m_log) m_log->LogLine("Printout \"" + jobTitle + "\" written to " + target);
            return Ok();
        }
        if (moved.error().code != EEXIST) {
            DeleteFileIfExists(temp);
            return moved.error().WithContext("Cannot print: ");
        }
    }
    DeleteFileIfExists(temp);
    return Error{"Cannot print: too many printouts named \"" + name + "\" in " + folder};
}

} // namespace vvp
