// Build-time tool: turns one Markdown document into a PDF file.
//   mdtopdf INPUT.md OUTPUT.pdf [TITLE]
// Runs without a display (offscreen platform). The PDF is written beside the
// target and renamed over it once complete.
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: mdtopdf INPUT.md OUTPUT.pdf [TITLE]\n");
        return 64;
    }
    // No display is needed, nor wanted, at build time.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const QString input = QFile::decodeName(argv[1]);
    const QString output = QFile::decodeName(argv[2]);
    const QString title = argc > 3 ? QString::fromUtf8(argv[3]) : QString();

    QFile in(input);
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "mdtopdf: cannot read %s\n", argv[1]);
        return 1;
    }
    const QString markdown = QString::fromUtf8(in.readAll());
    if (markdown.trimmed().isEmpty()) {
        std::fprintf(stderr, "mdtopdf: %s is empty\n", argv[1]);
        return 1;
    }

    QTextDocument doc;
    QFont font;
    font.setStyleHint(QFont::SansSerif, QFont::PreferQuality);
    font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")});
    font.setPointSizeF(10.0);
    doc.setDefaultFont(font);
    doc.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
    if (!title.isEmpty())
        doc.setMetaInformation(QTextDocument::DocumentTitle, title);

    const QString temporary = output + QStringLiteral(".part");
    QFile::remove(temporary);
    {
        QPdfWriter writer(temporary);
        writer.setTitle(title);
        writer.setCreator(QStringLiteral("Meshwright"));
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(20, 18, 20, 18), QPageLayout::Millimeter);
        writer.setResolution(300);
        doc.print(&writer);
    }
    QFile written(temporary);
    if (!written.exists() || written.size() < 64) {
        std::fprintf(stderr, "mdtopdf: could not write %s\n", argv[2]);
        QFile::remove(temporary);
        return 1;
    }
    QFile::remove(output);
    if (!QFile::rename(temporary, output)) {
        std::fprintf(stderr, "mdtopdf: could not write %s\n", argv[2]);
        QFile::remove(temporary);
        return 1;
    }
    return 0;
}
