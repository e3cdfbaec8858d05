#include "RtfReader.h"

#include "RtfControlWords.h"
#include "RtfLexer.h"

#include <algorithm>
#include <unordered_map>

namespace vvp::rtf {

namespace {

enum class Dest : std::uint8_t { Text, Skip, FontTable, ColourTable };

struct CharFormat {
    int font = 0;
    int size = 24;
    int colour = 0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool hidden = false;
    bool operator==(const CharFormat&) const = default;
};

struct ParaFormat {
    RtfAlignment alignment = RtfAlignment::Left;
    int leftIndent = 0;
    int rightIndent = 0;
    int firstLineIndent = 0;
    int spaceBefore = 0;
    int spaceAfter = 0;
    RtfTabKind pendingTab = RtfTabKind::Left;
    std::vector<RtfTabStop> tabs;
};

struct State {
    CharFormat chr;
    ParaFormat para;
    int uc = 1;
    Dest dest = Dest::Text;
};

enum class Kind { Character, ParagraphEnd };

struct ModelRun {
    CharFormat format;
    std::string text;
};

struct ModelParagraph {
    ParaFormat format;
    std::vector<ModelRun> runs;
};

class Reader {
public:
    Reader(std::string_view source, int maxDepth, std::vector<RtfParagraph>* paragraphs)
        : m_src(source), m_lexer(source), m_maxDepth(maxDepth), m_paragraphs(paragraphs) {}

    Result<Layout> Run();

private:
    State& Top() { return m_stack.back(); }
    std::uint8_t DashFlag(const Token& t) const {
        return t.kind == TokenKind::Text && t.ch == '-' && m_prevOpen ? kDashAfterOpen : 0;
    }
    bool Visible() const { return m_stack.back().dest == Dest::Text && !m_stack.back().chr.hidden; }

    void OnWord(const Token& t);
    void OnSymbol(const Token& t);
    void OnCharacter(const Token& t, unsigned char ch);
    void Emit(const Token& t, unsigned char ch, Kind kind);
    void EndUnicodeSkip(bool cutShort);
    void CommitFont();
    void EndParagraph();
    void FinishModel();

    std::string_view m_src;
    Lexer m_lexer;
    int m_maxDepth;
    std::vector<RtfParagraph>* m_paragraphs;

    Layout m_layout;
    std::vector<State> m_stack;
    bool m_prevOpen = false;   // the previous token is an undelimited control word
    int m_skip = 0;            // \uN fallback characters still to skip
    bool m_unitInSkip = false; // the last unit is a \uN whose fallback is being skipped
    bool m_haveFirstUnit = false;
    int m_defaultFont = 0;

    int m_fontNumber = 0;
    std::string m_fontName;
    bool m_fontPending = false;
    std::vector<std::pair<int, std::string>> m_fonts;
    RtfColour m_colour;
    std::vector<RtfColour> m_colours;

    std::vector<ModelParagraph> m_model;
    ModelParagraph m_current;
};

Result<Layout> Reader::Run() {
    if (m_src.size() > RtfDocument::kMaxSize)
        return Error{"The document is too large (" + std::to_string(m_src.size()) + " bytes)"};
    if (m_src.substr(0, 5) != "{\\rtf")
        return Error{"Not an RTF document: it does not start with \"{\\rtf\""};

    m_stack.reserve(64);
    Token t;
    bool closed = false;
    while (!closed) {
        if (m_skip == 0 && !m_stack.empty() && Top().dest == Dest::Skip && m_lexer.SkipPlainBytes() > 0)
            m_prevOpen = false;
        if (!m_lexer.Next(t)) break;
        if (m_skip > 0) {
            if (t.kind == TokenKind::GroupOpen || t.kind == TokenKind::GroupClose) {
                EndUnicodeSkip(true);
            } else if (t.kind == TokenKind::Text && (t.ch == '\r' || t.ch == '\n')) {
                m_prevOpen = false;
                continue;
            } else {
                // The fallback of a \uN: characters, escapes and control words each count one.
                if (m_unitInSkip) {
                    auto& unit = m_layout.units.back();
                    unit.end = t.end;
                    unit.flags = static_cast<std::uint8_t>((unit.flags & ~(kOpenAfter | kDashAfterOpen)) |
                                                           (t.open ? kOpenAfter : 0) | DashFlag(t));
                }
                if (--m_skip == 0) EndUnicodeSkip(false);
                m_prevOpen = t.open;
                continue;
            }
        }
        switch (t.kind) {
        case TokenKind::GroupOpen:
            if (static_cast<int>(m_stack.size()) >= m_maxDepth)
                return Error{"Groups are nested deeper than " + std::to_string(m_maxDepth) +
                             " levels at offset " + std::to_string(t.start)};
            if (m_stack.empty())
                m_stack.emplace_back();
            else
                m_stack.push_back(m_stack.back());
            break;
        case TokenKind::GroupClose:
            if (Top().dest == Dest::FontTable) CommitFont();
            // The state at the end of the document formats a last paragraph without a mark.
            if (m_stack.size() == 1 && m_paragraphs && !m_current.runs.empty()) EndParagraph();
            m_stack.pop_back();
            if (m_stack.empty()) {
                m_layout.rootClose = t.start;
                closed = true;
            }
            break;
        case TokenKind::ControlWord:
            OnWord(t);
            break;
        case TokenKind::ControlSymbol:
            OnSymbol(t);
            break;
        case TokenKind::HexChar:
            OnCharacter(t, t.ch);
            break;
        case TokenKind::Text:
            // Line ends and other control bytes in the source are layout, not text.
            if (t.ch >= 0x20 || t.ch == '\t') OnCharacter(t, t.ch);
            break;
        }
        m_prevOpen = t.kind == TokenKind::ControlWord && t.open;
    }
    if (!m_lexer.Error().empty()) return Error{m_lexer.Error()};
    if (!closed)
        return Error{"The document ends before " + std::to_string(m_stack.size()) +
                     " of its groups are closed"};
    for (std::size_t p = m_lexer.Position(); p < m_src.size(); ++p) {
        const char c = m_src[p];
        if (c != ' ' && c != '\r' && c != '\n' && c != '\t' && c != '\0')
            return Error{"Unexpected data after the end of the document at offset " + std::to_string(p)};
    }
    if (m_paragraphs) FinishModel();
    return std::move(m_layout);
}

void Reader::EndUnicodeSkip(bool cutShort) {
    if (m_unitInSkip && cutShort) m_layout.units.back().flags |= kPendingSkip;
    m_skip = 0;
    m_unitInSkip = false;
}

void Reader::OnWord(const Token& t) {
    State& s = Top();
    if (s.dest == Dest::Skip) return;
    const auto& table = WordTable();
    const auto it = table.find(t.word);
    if (it == table.end()) return;
    const WordInfo info = it->second;
    const int param = t.param;

    switch (info.word) {
    case Word::SkipDest:
        s.dest = Dest::Skip;
        return;
    case Word::FontTable:
        s.dest = Dest::FontTable;
        return;
    case Word::ColourTable:
        s.dest = Dest::ColourTable;
        m_colour = RtfColour{};
        return;
    default:
        break;
    }

    if (info.word == Word::UnicodeSkip) {
        s.uc = std::max(0, param);
        return;
    }
    if (info.word == Word::Unicode) {
        const int skip = s.uc;
        if (s.dest == Dest::FontTable) {
            m_fontName.push_back(static_cast<char>(AnsiFromUnicode(param)));
        } else if (Visible()) {
            Emit(t, AnsiFromUnicode(param), Kind::Character);
            m_unitInSkip = skip > 0;
        }
        m_skip = skip;
        return;
    }

    if (s.dest == Dest::FontTable) {
        if (info.word == Word::Font) {
            CommitFont();
            m_fontNumber = param;
            m_fontPending = true;
        }
        return;
    }
    if (s.dest == Dest::ColourTable) {
        const auto component = static_cast<std::uint8_t>(std::clamp(param, 0, 255));
        if (info.word == Word::Red) m_colour.red = component;
        if (info.word == Word::Green) m_colour.green = component;
        if (info.word == Word::Blue) m_colour.blue = component;
        if (info.word == Word::Red || info.word == Word::Green || info.word == Word::Blue)
            m_colour.automatic = false;
        return;
    }

    const bool on = !t.hasParam || param != 0;
    switch (info.word) {
    case Word::DefaultFont:
        m_defaultFont = param;
        s.chr.font = param;
        break;
    case Word::Font:
        s.chr.font = param;
        break;
    case Word::FontSize:
        s.chr.size = t.hasParam && param > 0 ? param : 24;
        break;
    case Word::Bold:
        s.chr.bold = on;
        break;
    case Word::Italic:
        s.chr.italic = on;
        break;
    case Word::Underline:
        s.chr.underline = on;
        break;
    case Word::UnderlineNone:
        s.chr.underline = false;
        break;
    case Word::Hidden:
        s.chr.hidden = on;
        break;
    case Word::Colour:
        s.chr.colour = param;
        break;
    case Word::Plain:
        s.chr = CharFormat{};
        s.chr.font = m_defaultFont;
        break;
    case Word::Pard:
        s.para = ParaFormat{};
        break;
    case Word::AlignLeft:
        s.para.alignment = RtfAlignment::Left;
        break;
    case Word::AlignCentre:
        s.para.alignment = RtfAlignment::Centre;
        break;
    case Word::AlignRight:
        s.para.alignment = RtfAlignment::Right;
        break;
    case Word::AlignJustify:
        s.para.alignment = RtfAlignment::Justify;
        break;
    case Word::LeftIndent:
        s.para.leftIndent = param;
        break;
    case Word::RightIndent:
        s.para.rightIndent = param;
        break;
    case Word::FirstIndent:
        s.para.firstLineIndent = param;
        break;
    case Word::SpaceBefore:
        s.para.spaceBefore = param;
        break;
    case Word::SpaceAfter:
        s.para.spaceAfter = param;
        break;
    case Word::TabRight:
        s.para.pendingTab = RtfTabKind::Right;
        break;
    case Word::TabCentre:
        s.para.pendingTab = RtfTabKind::Centre;
        break;
    case Word::TabDecimal:
        s.para.pendingTab = RtfTabKind::Decimal;
        break;
    case Word::TabBar:
        s.para.pendingTab = RtfTabKind::Left;
        break;
    case Word::TabPosition:
        // Only the model needs tab stops; a pathological list of them costs nothing otherwise.
        if (m_paragraphs && s.para.tabs.size() < 256)
            s.para.tabs.push_back(RtfTabStop{param, s.para.pendingTab});
        s.para.pendingTab = RtfTabKind::Left;
        break;
    case Word::ParagraphEnd:
        if (Visible()) Emit(t, '\r', Kind::ParagraphEnd);
        break;
    case Word::Character:
        if (Visible()) Emit(t, info.ch, Kind::Character);
        break;
    default:
        break;
    }
}

void Reader::OnSymbol(const Token& t) {
    State& s = Top();
    if (t.ch == '*') {
        // An ignorable destination: readers that do not know it skip the group.
        s.dest = Dest::Skip;
        return;
    }
    switch (t.ch) {
    case '\\':
    case '{':
    case '}':
        OnCharacter(t, t.ch);
        break;
    case '~':
        OnCharacter(t, 0xA0);
        break;
    case '_':
        OnCharacter(t, '-');
        break;
    case '\r':
    case '\n':
        if (Visible()) Emit(t, '\r', Kind::ParagraphEnd);
        break;
    default:
        break; // optional hyphen, formula and index symbols show nothing
    }
}

void Reader::OnCharacter(const Token& t, unsigned char ch) {
    State& s = Top();
    switch (s.dest) {
    case Dest::Skip:
        return;
    case Dest::FontTable:
        if (ch == ';') {
            CommitFont();
        } else {
            m_fontName.push_back(static_cast<char>(ch));
            m_fontPending = true;
        }
        return;
    case Dest::ColourTable:
        if (ch == ';') {
            m_colours.push_back(m_colour);
            m_colour = RtfColour{};
        }
        return;
    case Dest::Text:
        if (!s.chr.hidden) Emit(t, ch, Kind::Character);
        return;
    }
}

void Reader::Emit(const Token& t, unsigned char ch, Kind kind) {
    if (!m_haveFirstUnit) {
        m_haveFirstUnit = true;
        m_layout.firstUnitDepth = static_cast<std::uint32_t>(m_stack.size());
    }
    std::uint8_t flags = DashFlag(t);
    if (m_prevOpen) flags |= kOpenBefore;
    if (t.open) flags |= kOpenAfter;
    m_layout.units.push_back(Unit{t.start, t.end, flags});
    m_layout.visible.push_back(static_cast<char>(ch));
    if (!m_paragraphs) return;

    if (kind == Kind::ParagraphEnd) {
        EndParagraph();
        return;
    }
    const CharFormat& format = Top().chr;
    if (m_current.runs.empty() || !(m_current.runs.back().format == format))
        m_current.runs.push_back(ModelRun{format, {}});
    m_current.runs.back().text.push_back(static_cast<char>(ch));
}

void Reader::CommitFont() {
    if (!m_fontPending) return;
    auto last = m_fontName.find_last_not_of(' ');
    m_fontName.erase(last == std::string::npos ? 0 : last + 1);
    if (m_fonts.size() < 4096) m_fonts.emplace_back(m_fontNumber, m_fontName);
    m_fontName.clear();
    m_fontPending = false;
}

void Reader::EndParagraph() {
    m_current.format = Top().para;
    m_model.push_back(std::move(m_current));
    m_current = ModelParagraph{};
}

void Reader::FinishModel() {
    std::unordered_map<int, std::string> fonts;
    for (const auto& [number, name] : m_fonts)
        fonts.emplace(number, name);

    m_paragraphs->clear();
    m_paragraphs->reserve(m_model.size());
    for (auto& para : m_model) {
        RtfParagraph out;
        out.alignment = para.format.alignment;
        out.leftIndent = para.format.leftIndent;
        out.rightIndent = para.format.rightIndent;
        out.firstLineIndent = para.format.firstLineIndent;
        out.spaceBefore = para.format.spaceBefore;
        out.spaceAfter = para.format.spaceAfter;
        out.tabStops = std::move(para.format.tabs);
        for (auto& run : para.runs) {
            RtfRun r;
            r.text = std::move(run.text);
            if (const auto it = fonts.find(run.format.font); it != fonts.end()) r.fontName = it->second;
            r.fontSize = run.format.size;
            r.bold = run.format.bold;
            r.italic = run.format.italic;
            r.underline = run.format.underline;
            if (run.format.colour >= 0 && static_cast<std::size_t>(run.format.colour) < m_colours.size())
                r.colour = m_colours[static_cast<std::size_t>(run.format.colour)];
            out.runs.push_back(std::move(r));
        }
        m_paragraphs->push_back(std::move(out));
    }
}

} // namespace

Result<Layout> ReadRtf(std::string_view source, int maxDepth, std::vector<RtfParagraph>* paragraphs) {
    return Reader(source, maxDepth, paragraphs).Run();
}

} // namespace vvp::rtf
