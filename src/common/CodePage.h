#pragma once

#include <QString>
#include <QtGlobal>
#include <memory>
#include <vector>

// A code page as tables in both directions, for text decoded or encoded a
// character at a time (the viewer reads the report output, the report writes
// it). The tables are made from Qt's own decoder and encoder, a byte or a
// character at a time, so that they give exactly the characters and bytes
// QStringDecoder and QStringEncoder give; whatever a table does not hold is
// left to them.
class TCodePage {
public:
    // The tables of the code page `name`, made on the first call for that
    // name and kept for the rest of the run; null when Qt does not know it.
    static std::shared_ptr<const TCodePage> Find(const QString &name);

    // Decoding: the character every byte stands for, read alone by the
    // stateless decoder; empty unless each of the 256 bytes reads as one
    // character and two bytes read as two (UTF-8 and the double-byte code
    // pages have no such table).
    const std::vector<char16_t> &Chars() const { return m_chars; }

    // Encoding: 65536 entries, one per UTF-16 unit, giving the byte of each
    // character that encodes alone to one byte and decodes back from it, 0
    // for the others (U+0000 is such a character when NulMapped()). Null
    // unless more than the 128 bytes of ASCII map so: in the 7-bit code
    // pages that switch state with escapes no byte above 127 stands for a
    // character by itself. A double-byte code page keeps its one-byte
    // characters here.
    const quint8 *Bytes() const { return m_bytes.get(); }
    bool NulMapped() const { return m_nulMapped; }

    explicit TCodePage(const QString &name);   // for Find

private:
    std::vector<char16_t> m_chars;
    std::unique_ptr<quint8[]> m_bytes;
    bool m_nulMapped = false;
};

// The decoding table of the code page `name` (TCodePage::Chars); empty
// when Qt does not know it or it is not one byte per character.
std::vector<char16_t> CodePageChars(const QString &name);
