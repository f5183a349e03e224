#pragma once

#include "subtitles/StyleCell.h"

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The content of one timed-text sample (the text, then its Style elements) as
// UTF-16 code units with one StyleCell per unit. Font markup that survived as
// literal text is turned into colour, the text is tidied, and the Style elements
// are written anew from the cells, so styles stay aligned with the text.
class TimedTextSample {
public:
    // Decodes the text of content and applies the Style elements found in it.
    explicit TimedTextSample(QByteArrayView content);

    // Removes every font tag from the text and colours the spans they enclose.
    void convertFontMarkup();
    // Character references still in the text after the markup is gone: SRT text
    // keeps a literal '<', '>' or '&' as "&lt;", "&gt;", "&amp;", and those are
    // characters only now.
    void decodeReferences();
    // Removes empty lines, lines of spaces and one trailing line break.
    void tidy();
    // Appends the text and the Style elements; fontSizeAttribute is the whole
    // fontSize="N" text used in every element.
    void write(QByteArray &out, QByteArrayView fontSizeAttribute) const;

    const std::u16string &text() const { return m_text; }
    const std::vector<StyleCell> &cells() const { return m_cells; }

    // The whole rewrite of one sample's content, appended to out.
    static void restyle(QByteArrayView content, QByteArrayView fontSizeAttribute, QByteArray &out);

    // The colour an opening font tag (from "<" through its ">") asks for, as six
    // lowercase hexadecimal digits, or nothing.
    static std::optional<std::array<char, 6>> colourFromFontTag(std::u16string_view tag);

private:
    void decodeText(QByteArrayView content);
    void applyStyleElements(QByteArrayView content);
    void append(char16_t unit);
    void erase(size_t from, size_t to);

    std::u16string m_text;
    std::vector<StyleCell> m_cells;
};
