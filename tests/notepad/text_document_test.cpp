#include "notepad/block_lines.h"
#include "notepad/cp1252_text.h"
#include "notepad/large_file_lines.h"
#include "notepad/text_document.h"
#include "parse/line_ends.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QtTest>

#include <string_view>

using namespace ini;

Q_DECLARE_METATYPE(ini::TextEncoding)

namespace {

std::string_view View(const QByteArray& bytes) {
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

QByteArray Bytes(std::string_view text) {
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

QByteArray EncodeOrFail(const TextDocument& document) {
    const Result<QByteArray> bytes = document.ToBytes();
    if (!bytes.ok()) {
        qWarning("%s", bytes.error().c_str());
        return {};
    }
    return bytes.value();
}

// A line's text back in its file's encoding, independently of the document's writer.
QByteArray EncodeLine(const QString& text, TextEncoding encoding) {
    if (encoding == TextEncoding::Utf8)
        return QStringEncoder(QStringConverter::Utf8).encode(text);
    QByteArray bytes;
    for (const QChar c : text)
        bytes += EncodeCp1252(c.unicode()).value_or('?');
    return bytes;
}

QByteArray AllBytes() {
    QByteArray bytes;
    for (int b = 0; b < 256; ++b)
        bytes += static_cast<char>(b);
    return bytes;
}

} // namespace

class TextDocumentTest : public QObject {
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void linesMatchViewer_data() { roundTrip_data(); }
    void linesMatchViewer();
    void throughEditorBlocks_data() { roundTrip_data(); }
    void throughEditorBlocks();
    void throughClipboardText_data() { roundTrip_data(); }
    void throughClipboardText();
    void largeViewLinesMatchEditor_data() { roundTrip_data(); }
    void largeViewLinesMatchEditor();

    void editedLines_data();
    void editedLines();
    void linesKeepTheirEnds_data();
    void linesKeepTheirEnds();
    void unencodable_data();
    void unencodable();

    void cp1252Mapping_data();
    void cp1252Mapping();
    void cp1252AgreesWithSystemCodec();
};

void TextDocumentTest::roundTrip_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<TextEncoding>("encoding");
    const auto utf8 = TextEncoding::Utf8;
    const auto cp1252 = TextEncoding::Windows1252;
    const QByteArray bom = "\xEF\xBB\xBF";

    QTest::newRow("crlf") << QByteArray("Object Alpha\r\n  Speed = 10 ; comment\r\nEnd\r\n")
                          << utf8;
    QTest::newRow("cr") << QByteArray("Object Alpha\r  Speed = 10\rEnd\r") << utf8;
    QTest::newRow("lf") << QByteArray("Object Alpha\n  Speed = 10\nEnd\n") << utf8;
    QTest::newRow("mixed") << QByteArray("a\r\nb\rc\nd\r\n") << utf8;
    QTest::newRow("no final terminator") << QByteArray("a\r\nb") << utf8;
    QTest::newRow("lf then cr is two ends") << QByteArray("a\n\rb\r\r\n") << utf8;
    QTest::newRow("only terminators") << QByteArray("\r\n\n\r\r\n") << utf8;
    QTest::newRow("empty") << QByteArray() << utf8;
    QTest::newRow("bom only") << bom << utf8;
    QTest::newRow("bom crlf") << bom + "a\r\nb\r\n" << utf8;
    QTest::newRow("second bom is text") << bom + bom + "a\n" << utf8;
    QTest::newRow("8-bit text") << QByteArray("Name = Caf\xE9 \x80 \x93quoted\x94\r\n") << cp1252;
    QTest::newRow("undefined 1252 bytes") << QByteArray("\x81\x8D\x8F\x90\x9D\r\n") << cp1252;
    QTest::newRow("every byte") << AllBytes() << cp1252;
    QTest::newRow("bom then 8-bit") << bom + "caf\xE9\r\n" << cp1252;
    QTest::newRow("truncated utf8 sequence") << QByteArray("ok\r\nbad \xE2\x82\r\n") << cp1252;
    QTest::newRow("utf8 surrogate") << QByteArray("\xED\xA0\x80\n") << cp1252;
    QTest::newRow("nul bytes") << QByteArray("a\0b\r\n\0\n\0", 8) << utf8;
    QTest::newRow("nul in 8-bit") << QByteArray("\xE9\0\xE9\n", 4) << cp1252;
    QTest::newRow("utf8") << QByteArray("Stra\xC3\x9F"
                                        "e \xE2\x82\xAC \xF0\x9F\x98\x80\n")
                          << utf8;
    QTest::newRow("utf8 noncharacters")
        << QByteArray("\xEF\xBF\xBE\xEF\xBF\xBF\xEF\xBF\xBD\n") << utf8;
    QTest::newRow("paragraph separator in a line") << QByteArray("a\xE2\x80\xA9"
                                                                 "b\r\nc\r\n")
                                                   << utf8;
    QTest::newRow("paragraph separators at the edges")
        << QByteArray("\xE2\x80\xA9\n\xE2\x80\xA9\xE2\x80\xA9") << utf8;
    QTest::newRow("frame marks") << QByteArray("\xEF\xB7\x90x\xEF\xB7\x91\n") << utf8;
    QTest::newRow("line separator") << QByteArray("a\xE2\x80\xA8"
                                                  "b\n")
                                    << utf8;
}

void TextDocumentTest::roundTrip() {
    QFETCH(QByteArray, bytes);
    QFETCH(TextEncoding, encoding);
    const TextDocument document = TextDocument::FromBytes(View(bytes));
    QCOMPARE(document.Format().encoding, encoding);
    QCOMPARE(EncodeOrFail(document).toHex(' '), bytes.toHex(' '));
}

void TextDocumentTest::linesMatchViewer() {
    QFETCH(QByteArray, bytes);
    const TextDocument document = TextDocument::FromBytes(View(bytes));
    LineEndScanner scanner(StripUtf8Bom(View(bytes)));
    std::size_t index = 0;
    while (const auto line = scanner.Next()) {
        QVERIFY(index < document.Lines().size());
        QCOMPARE(EncodeLine(document.Lines()[index].text, document.Format().encoding).toHex(' '),
                 Bytes(*line).toHex(' '));
        ++index;
    }
    QCOMPARE(document.Lines().size(), index);
}

// What the editor shows: block N-1 is line N, and saving the unedited blocks gives the bytes.
void TextDocumentTest::throughEditorBlocks() {
    QFETCH(QByteArray, bytes);
    const TextDocument document = TextDocument::FromBytes(View(bytes));
    QTextDocument blocks;
    ShowLines(blocks, document);

    const auto& lines = document.Lines();
    // After a final line end, an empty block to type into.
    const int after = document.Format().endsWithTerminator ? 1 : 0;
    QCOMPARE(blocks.blockCount(), std::max<int>(1, static_cast<int>(lines.size()) + after));
    for (std::size_t i = 0; i < lines.size(); ++i)
        QCOMPARE(blocks.findBlockByNumber(static_cast<int>(i)).length() - 1, lines[i].text.size());
    QVERIFY(!blocks.isModified());
    QVERIFY(!blocks.isUndoAvailable());

    const TextDocument saved = document.WithLines(CollectLines(blocks));
    QCOMPARE(EncodeOrFail(saved).toHex(' '), bytes.toHex(' '));
}

// The editor's clipboard text: all of it taken out and put into an empty text gives the bytes.
void TextDocumentTest::throughClipboardText() {
    QFETCH(QByteArray, bytes);
    const TextDocument document = TextDocument::FromBytes(View(bytes));
    QTextDocument shown;
    ShowLines(shown, document);
    QTextCursor all(&shown);
    all.select(QTextCursor::Document);
    const QString text = SelectedLineText(all);

    QTextDocument pasted;
    QTextCursor cursor(&pasted);
    InsertLineText(cursor, text);
    QCOMPARE(pasted.blockCount(), shown.blockCount());
    const TextDocument saved = document.WithLines(CollectLines(pasted));
    QCOMPARE(EncodeOrFail(saved).toHex(' '), bytes.toHex(' '));
}

// The read-only view of large files decodes each line as the editable text does.
void TextDocumentTest::largeViewLinesMatchEditor() {
    QFETCH(QByteArray, bytes);
    QTemporaryFile file;
    QVERIFY(file.open());
    QCOMPARE(file.write(bytes), bytes.size());
    file.close();
    const TextDocument document = TextDocument::FromBytes(View(bytes));
    const Result<LargeFileLines> read = LargeFileLines::Read(file.fileName());
    QVERIFY2(read.ok(), read.error().c_str());
    const LargeFileLines& lines = read.value();
    QCOMPARE(lines.Encoding(), document.Format().encoding);
    QCOMPARE(lines.Count(), static_cast<qint64>(document.Lines().size()));
    for (qint64 i = 0; i < lines.Count(); ++i)
        QCOMPARE(lines.Text(i), document.Lines()[static_cast<std::size_t>(i)].text);
}

void TextDocumentTest::linesKeepTheirEnds_data() {
    QTest::addColumn<QByteArray>("original");
    QTest::addColumn<QStringList>("edited");
    QTest::addColumn<QByteArray>("expected");

    // LF, CR LF and CR twice each: new breaks get LF. The edited texts are the editor's blocks:
    // an empty last one stands for the final line end.
    const QByteArray mixed = "a\nb\r\nc\rd\ne\r\nf\r";
    QTest::newRow("unchanged") << mixed << QStringList{"a", "b", "c", "d", "e", "f", ""} << mixed;
    QTest::newRow("a line added in one place, another changed elsewhere")
        << mixed << QStringList{"a", "new", "b", "c", "d", "E", "f", ""}
        << QByteArray("a\nnew\nb\r\nc\rd\nE\r\nf\r");
    QTest::newRow("a line removed in one place, another split elsewhere")
        << mixed << QStringList{"a", "c", "d", "e1", "e2", "f", ""}
        << QByteArray("a\nc\rd\ne1\ne2\r\nf\r");
    QTest::newRow("joined lines keep the second one's end")
        << mixed << QStringList{"a", "bc", "d", "e", "f", ""} << QByteArray("a\nbc\rd\ne\r\nf\r");
    QTest::newRow("a moved line is a new line")
        << mixed << QStringList{"a", "c", "b", "d", "e", "f", ""}
        << QByteArray("a\nc\rb\nd\ne\r\nf\r");
    QTest::newRow("everything replaced")
        << mixed << QStringList{"x", "y", ""} << QByteArray("x\r\ny\r");
    QTest::newRow("the final line end removed")
        << mixed << QStringList{"a", "b", "c", "d", "e", "f"} << QByteArray("a\nb\r\nc\rd\ne\r\nf");
    QTest::newRow("everything removed") << mixed << QStringList{""} << QByteArray();

    // An edit too large for the shortest edit script: every third of 4,500 lines removed at once.
    QByteArray many;
    QStringList kept;
    QByteArray keptBytes;
    for (int i = 0; i < 4500; ++i) {
        const QByteArray line = "K" + QByteArray::number(i) + (i % 2 ? "\r\n" : "\n");
        many += line;
        if (i % 3 != 0) {
            kept.push_back("K" + QString::number(i));
            keptBytes += line;
        }
    }
    kept.push_back("");
    QTest::newRow("fifteen hundred lines removed at once") << many << kept << keptBytes;
}

void TextDocumentTest::linesKeepTheirEnds() {
    QFETCH(QByteArray, original);
    QFETCH(QStringList, edited);
    QFETCH(QByteArray, expected);
    const TextDocument document = TextDocument::FromBytes(View(original));
    const std::vector<QString> texts(edited.begin(), edited.end());
    QCOMPARE(EncodeOrFail(document.WithLines(texts)).toHex(' '), expected.toHex(' '));
}

void TextDocumentTest::editedLines_data() {
    QTest::addColumn<QByteArray>("original");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("new line takes the file's end")
        << QByteArray("a\r\nb\r\n") << 0 << 1 << "\nnew" << QByteArray("a\r\nnew\r\nb\r\n");
    QTest::newRow("most common end wins in a mixed file")
        << QByteArray("a\rb\rc\n") << 2 << 1 << "\nd" << QByteArray("a\rb\rc\nd\r");
    QTest::newRow("other lines keep their own end")
        << QByteArray("a\nb\r\nc\rd\n") << 2 << 0 << "x\ny" << QByteArray("a\nb\r\nx\nyc\rd\n");
    QTest::newRow("file without final end keeps none")
        << QByteArray("a\r\nb") << 1 << 1 << "\nc" << QByteArray("a\r\nb\r\nc");
    QTest::newRow("no end in file gives lf")
        << QByteArray("abc") << 0 << 3 << "\nd" << QByteArray("abc\nd");
    QTest::newRow("typing into an empty file")
        << QByteArray() << 0 << 0 << "x\ny" << QByteArray("x\ny");
    QTest::newRow("empty line added at the end") << QByteArray("a\n") << 0 << 1 << "\n"
                                                 << QByteArray("a\n\n");
    // Typed after the final line end, on the empty last line: the last line keeps its end.
    QTest::newRow("typing on the empty last line")
        << QByteArray("Weapon W\r\nEnd\r\n") << 2 << 0 << "Weapon V"
        << QByteArray("Weapon W\r\nEnd\r\nWeapon V");
    QTest::newRow("a line end typed there too") << QByteArray("End\r\n") << 1 << 0 << "x\n"
                                                << QByteArray("End\r\nx\r\n");
    QTest::newRow("8-bit file stays 8-bit")
        << QByteArray("caf\xE9\r\n") << 0 << 4 << QString::fromUtf8(" \u20AC\u00FC\u0081")
        << QByteArray("caf\xE9 \x80\xFC\x81\r\n");
    QTest::newRow("utf8 file with bom stays so")
        << QByteArray("\xEF\xBB\xBFx\n") << 0 << 1 << QString::fromUtf8("\u00E9")
        << QByteArray("\xEF\xBB\xBFx\xC3\xA9\n");
    QTest::newRow("typing before a placeholder") << QByteArray("a\xE2\x80\xA9"
                                                               "b\n")
                                                 << 0 << 1 << "z"
                                                 << QByteArray("az\xE2\x80\xA9"
                                                               "b\n");
}

void TextDocumentTest::editedLines() {
    QFETCH(QByteArray, original);
    QFETCH(int, line);
    QFETCH(int, column);
    QFETCH(QString, typed);
    QFETCH(QByteArray, expected);

    const TextDocument document = TextDocument::FromBytes(View(original));
    QTextDocument blocks;
    ShowLines(blocks, document);
    QTextCursor cursor(blocks.findBlockByNumber(line));
    cursor.setPosition(cursor.position() + column);
    cursor.insertText(typed);

    QCOMPARE(EncodeOrFail(document.WithLines(CollectLines(blocks))), expected);
}

void TextDocumentTest::unencodable_data() {
    QTest::addColumn<QByteArray>("original");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("character");

    QTest::newRow("cjk in 8-bit file") << QByteArray("a\r\ncaf\xE9\r\n") << 1 << 2 << 0x6F22;
    QTest::newRow("c1 control without a byte") << QByteArray("\xE9") << 0 << 0 << 0x0080;
    QTest::newRow("lone surrogate in utf8 file") << QByteArray("ok\n") << 0 << 1 << 0xD800;
}

void TextDocumentTest::unencodable() {
    QFETCH(QByteArray, original);
    QFETCH(int, line);
    QFETCH(int, column);
    QFETCH(int, character);

    const TextDocument document = TextDocument::FromBytes(View(original));
    std::vector<QString> lines;
    for (const Line& loaded : document.Lines())
        lines.push_back(loaded.text);
    lines[static_cast<std::size_t>(line)].insert(column, QChar(character));
    const Result<QByteArray> bytes = document.WithLines(std::move(lines)).ToBytes();

    QVERIFY(!bytes.ok());
    QCOMPARE(bytes.failure().place, std::optional(TextPlace{line, column}));
    const QString code = QStringLiteral("U+%1").arg(character, 4, 16, QLatin1Char('0'));
    QVERIFY2(QString::fromStdString(bytes.error()).contains(code), bytes.error().c_str());
}

void TextDocumentTest::cp1252Mapping_data() {
    QTest::addColumn<int>("byte");
    QTest::addColumn<int>("character");
    QTest::newRow("nul") << 0x00 << 0x0000;
    QTest::newRow("ascii") << 0x41 << 0x0041;
    QTest::newRow("euro") << 0x80 << 0x20AC;
    QTest::newRow("undefined 81") << 0x81 << 0x0081;
    QTest::newRow("undefined 8d") << 0x8D << 0x008D;
    QTest::newRow("undefined 8f") << 0x8F << 0x008F;
    QTest::newRow("undefined 90") << 0x90 << 0x0090;
    QTest::newRow("undefined 9d") << 0x9D << 0x009D;
    QTest::newRow("left double quote") << 0x93 << 0x201C;
    QTest::newRow("y diaeresis") << 0x9F << 0x0178;
    QTest::newRow("nbsp") << 0xA0 << 0x00A0;
    QTest::newRow("last") << 0xFF << 0x00FF;
}

void TextDocumentTest::cp1252Mapping() {
    QFETCH(int, byte);
    QFETCH(int, character);
    const char b = static_cast<char>(byte);
    const QString decoded = DecodeCp1252(std::string_view(&b, 1));
    QCOMPARE(decoded.size(), 1);
    QCOMPARE(static_cast<int>(decoded[0].unicode()), character);
    QCOMPARE(EncodeCp1252(static_cast<char16_t>(character)), std::optional<char>(b));
}

// Guards the table against typos where the system has a codec to compare with.
void TextDocumentTest::cp1252AgreesWithSystemCodec() {
    QStringDecoder system("windows-1252");
    if (!system.isValid())
        QSKIP("no windows-1252 codec in this Qt build");
    for (int byte = 0; byte < 256; ++byte) {
        if (byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D)
            continue;
        const char b = static_cast<char>(byte);
        const QString expected = system.decode(QByteArrayView(&b, 1));
        QCOMPARE(DecodeCp1252(std::string_view(&b, 1)), expected);
    }
}

QTEST_MAIN(TextDocumentTest)
#include "text_document_test.moc"
