#include "download/regex_find_all.h"

#include <cstdint>
#include <cwctype>
#include <memory>
#include <utility>

// The pattern is parsed into a small tree, compiled into instructions and run as a set of
// parallel threads over the text (one pass, one thread per instruction at most), so no
// pattern can make the search take exponential time or deep recursion.

namespace Utils {
namespace {

// Deeper nesting than this is treated as a syntax error; real patterns nest two or three
// levels, and the limit keeps the parser's recursion bounded for any input.
constexpr int kMaxNesting = 200;

wchar_t FoldCase(wchar_t c) {
    if (c >= L'A' && c <= L'Z') {
        return static_cast<wchar_t>(c - L'A' + L'a');
    }
    if (c < 0x80) {
        return c;
    }
    // Latin-1, Greek and Cyrillic capitals, the same whatever locale the process runs in.
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) ||
        (c >= 0x410 && c <= 0x42F)) {
        return static_cast<wchar_t>(c + 0x20);
    }
    if (c >= 0x400 && c <= 0x40F) {
        return static_cast<wchar_t>(c + 0x50);
    }
    return static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(c)));
}

std::wstring Folded(const std::wstring& text) {
    std::wstring out(text);
    for (wchar_t& c : out) {
        c = FoldCase(c);
    }
    return out;
}

// Expansion of each abbreviation, in the matcher's own syntax. Each is used as one unit,
// so "\q" next to other pattern text means exactly one quoted string.
const wchar_t* Abbreviation(wchar_t letter) {
    switch (letter) {
        case L'a': return L"([a-zA-Z0-9])";
        case L'b': return L"([ \\t])";
        case L'c': return L"([a-zA-Z])";
        case L'd': return L"([0-9])";
        case L'h': return L"([0-9a-fA-F])";
        case L'n': return L"(\r|(\r?\n))";
        case L'q': return L"(\"[^\"]*\")|('[^']*')";
        case L'w': return L"([a-zA-Z]+)";
        case L'z': return L"([0-9]+)";
        default: return nullptr;
    }
}

struct CharRange {
    wchar_t low;
    wchar_t high;
};

struct CharSet {
    bool negated = false;
    std::vector<CharRange> ranges;

    bool Contains(wchar_t c) const {
        bool inside = false;
        for (const CharRange& r : ranges) {
            if (c >= r.low && c <= r.high) {
                inside = true;
                break;
            }
        }
        return inside != negated;
    }
};

enum class NodeKind { Literal, Any, Set, Concat, Alternate, Capture, Group, Repeat };
enum class RepeatKind { OneOrMore, ZeroOrMore, Optional };

struct Node {
    NodeKind kind;
    wchar_t literal = 0;
    int setIndex = -1;
    bool lazy = false;
    RepeatKind repeat = RepeatKind::OneOrMore;
    bool firstCapture = false;  // a Capture node that is the pattern's first capture group
    std::vector<std::unique_ptr<Node>> children;

    explicit Node(NodeKind k) : kind(k) {}
};

class Parser {
public:
    Parser(std::wstring pattern, std::vector<CharSet>& sets) : text_(std::move(pattern)), sets_(sets) {}

    // The parsed tree, or null on a syntax error.
    std::unique_ptr<Node> ParseAll() {
        std::unique_ptr<Node> root = ParseAlternation(0);
        if (!root || position_ != text_.size()) {
            return nullptr;
        }
        return root;
    }

    bool SawCapture() const { return captureSeen_; }
    void InheritCaptureState(bool seen) { captureSeen_ = seen; }

private:
    bool AtEnd() const { return position_ >= text_.size(); }
    wchar_t Peek() const { return text_[position_]; }

    std::unique_ptr<Node> ParseAlternation(int depth) {
        if (depth > kMaxNesting) {
            return nullptr;
        }
        std::unique_ptr<Node> first = ParseConcatenation(depth);
        if (!first) {
            return nullptr;
        }
        if (AtEnd() || Peek() != L'|') {
            return first;
        }
        auto alternate = std::make_unique<Node>(NodeKind::Alternate);
        alternate->children.push_back(std::move(first));
        while (!AtEnd() && Peek() == L'|') {
            ++position_;
            std::unique_ptr<Node> next = ParseConcatenation(depth);
            if (!next) {
                return nullptr;
            }
            alternate->children.push_back(std::move(next));
        }
        return alternate;
    }

    std::unique_ptr<Node> ParseConcatenation(int depth) {
        auto concat = std::make_unique<Node>(NodeKind::Concat);
        while (!AtEnd()) {
            const wchar_t c = Peek();
            if (c == L'|' || c == L')' || c == L'}') {
                break;
            }
            std::unique_ptr<Node> atom = ParseAtom(depth);
            if (!atom) {
                return nullptr;
            }
            if (!AtEnd() && (Peek() == L'+' || Peek() == L'*' || Peek() == L'?')) {
                auto repeat = std::make_unique<Node>(NodeKind::Repeat);
                const wchar_t q = Peek();
                repeat->repeat = q == L'+' ? RepeatKind::OneOrMore
                                 : q == L'*' ? RepeatKind::ZeroOrMore
                                             : RepeatKind::Optional;
                ++position_;
                if (!AtEnd() && Peek() == L'?') {
                    repeat->lazy = true;
                    ++position_;
                }
                repeat->children.push_back(std::move(atom));
                atom = std::move(repeat);
                // A quantifier on a quantifier ("a+*", "a+??") is not a pattern.
                if (!AtEnd() && (Peek() == L'+' || Peek() == L'*' || Peek() == L'?')) {
                    return nullptr;
                }
            }
            concat->children.push_back(std::move(atom));
        }
        return concat;
    }

    std::unique_ptr<Node> ParseAtom(int depth) {
        const wchar_t c = Peek();
        ++position_;
        switch (c) {
            case L'+':
            case L'*':
            case L'?':
                return nullptr;  // nothing to repeat
            case L'.':
                return std::make_unique<Node>(NodeKind::Any);
            case L'[':
                return ParseSet();
            case L'(':
            case L'{': {
                const bool capture = c == L'{';
                auto group = std::make_unique<Node>(capture ? NodeKind::Capture : NodeKind::Group);
                if (capture && !captureSeen_) {
                    captureSeen_ = true;
                    group->firstCapture = true;
                }
                std::unique_ptr<Node> inner = ParseAlternation(depth + 1);
                if (!inner || AtEnd() || Peek() != (capture ? L'}' : L')')) {
                    return nullptr;
                }
                ++position_;
                group->children.push_back(std::move(inner));
                return group;
            }
            case L'\\': {
                if (AtEnd()) {
                    return nullptr;
                }
                const wchar_t escaped = Peek();
                ++position_;
                if (escaped >= L'0' && escaped <= L'9') {
                    return nullptr;  // back references are not supported
                }
                if (const wchar_t* expansion = Abbreviation(escaped)) {
                    Parser inner(Folded(expansion), sets_);
                    inner.InheritCaptureState(true);  // expansions never hold the first group
                    std::unique_ptr<Node> tree = inner.ParseAll();
                    if (!tree) {
                        return nullptr;
                    }
                    auto group = std::make_unique<Node>(NodeKind::Group);
                    group->children.push_back(std::move(tree));
                    return group;
                }
                auto literal = std::make_unique<Node>(NodeKind::Literal);
                literal->literal = escaped;
                return literal;
            }
            default: {
                auto literal = std::make_unique<Node>(NodeKind::Literal);
                literal->literal = c;
                return literal;
            }
        }
    }

    // After the opening "[".
    std::unique_ptr<Node> ParseSet() {
        CharSet set;
        if (!AtEnd() && Peek() == L'^') {
            set.negated = true;
            ++position_;
        }
        bool any = false;
        while (!AtEnd() && Peek() != L']') {
            wchar_t low = 0;
            if (!ParseSetChar(low)) {
                return nullptr;
            }
            wchar_t high = low;
            if (position_ + 1 < text_.size() && Peek() == L'-' && text_[position_ + 1] != L']') {
                ++position_;
                if (!ParseSetChar(high) || high < low) {
                    return nullptr;
                }
            }
            set.ranges.push_back({low, high});
            any = true;
        }
        if (AtEnd() || !any) {
            return nullptr;  // unterminated or empty set
        }
        ++position_;  // "]"
        auto node = std::make_unique<Node>(NodeKind::Set);
        node->setIndex = static_cast<int>(sets_.size());
        sets_.push_back(std::move(set));
        return node;
    }

    bool ParseSetChar(wchar_t& out) {
        wchar_t c = Peek();
        ++position_;
        if (c == L'\\') {
            if (AtEnd()) {
                return false;
            }
            c = Peek();
            ++position_;
            if (c == L't') {
                c = L'\t';
            }
        }
        out = c;
        return true;
    }

    const std::wstring text_;
    std::size_t position_ = 0;
    std::vector<CharSet>& sets_;
    bool captureSeen_ = false;
};

enum class Op : std::uint8_t { Literal, Any, Set, Split, Jump, Save, Match };

struct Instruction {
    Op op;
    wchar_t literal = 0;
    int set = -1;
    int x = 0;  // Split: preferred branch; Jump: target; Save: slot
    int y = 0;  // Split: other branch
};

// Slots: 0 match start, 1 match end, 2 first group start, 3 first group end.
constexpr int kSlots = 4;
struct Captures {
    int slot[kSlots] = {-1, -1, -1, -1};
};

class Program {
public:
    std::vector<Instruction> code;
    std::vector<CharSet> sets;

    int Emit(Instruction i) {
        code.push_back(i);
        return static_cast<int>(code.size()) - 1;
    }

    void Compile(const Node& node) {
        switch (node.kind) {
            case NodeKind::Literal:
                Emit({Op::Literal, node.literal});
                break;
            case NodeKind::Any:
                Emit({Op::Any});
                break;
            case NodeKind::Set: {
                Instruction i{Op::Set};
                i.set = node.setIndex;
                Emit(i);
                break;
            }
            case NodeKind::Concat:
                for (const auto& child : node.children) {
                    Compile(*child);
                }
                break;
            case NodeKind::Group:
                Compile(*node.children[0]);
                break;
            case NodeKind::Capture:
                if (node.firstCapture) {
                    Instruction open{Op::Save};
                    open.x = 2;
                    Emit(open);
                    Compile(*node.children[0]);
                    Instruction close{Op::Save};
                    close.x = 3;
                    Emit(close);
                } else {
                    Compile(*node.children[0]);
                }
                break;
            case NodeKind::Alternate: {
                // split L1, next; L1: a; jump end; next: split L2, ... ; last
                std::vector<int> jumps;
                for (std::size_t k = 0; k + 1 < node.children.size(); ++k) {
                    const int split = Emit({Op::Split});
                    code[split].x = split + 1;
                    Compile(*node.children[k]);
                    jumps.push_back(Emit({Op::Jump}));
                    code[split].y = static_cast<int>(code.size());
                }
                Compile(*node.children.back());
                for (int j : jumps) {
                    code[j].x = static_cast<int>(code.size());
                }
                break;
            }
            case NodeKind::Repeat: {
                const Node& body = *node.children[0];
                if (node.repeat == RepeatKind::OneOrMore) {
                    const int start = static_cast<int>(code.size());
                    Compile(body);
                    const int split = Emit({Op::Split});
                    SetBranches(split, start, split + 1, node.lazy);
                } else if (node.repeat == RepeatKind::ZeroOrMore) {
                    const int split = Emit({Op::Split});
                    Compile(body);
                    Instruction back{Op::Jump};
                    back.x = split;
                    Emit(back);
                    SetBranches(split, split + 1, static_cast<int>(code.size()), node.lazy);
                } else {
                    const int split = Emit({Op::Split});
                    Compile(body);
                    SetBranches(split, split + 1, static_cast<int>(code.size()), node.lazy);
                }
                break;
            }
        }
    }

private:
    void SetBranches(int split, int take, int skip, bool lazy) {
        code[split].x = lazy ? skip : take;
        code[split].y = lazy ? take : skip;
    }
};

// The list of threads alive at one text position, in priority order, each instruction
// at most once.
class ThreadList {
public:
    explicit ThreadList(std::size_t size) : mark_(size, 0) {}

    void Clear() {
        threads_.clear();
        ++generation_;
    }
    bool Marked(int pc) const { return mark_[static_cast<std::size_t>(pc)] == generation_; }
    void Mark(int pc) { mark_[static_cast<std::size_t>(pc)] = generation_; }
    void Add(int pc, const Captures& caps) { threads_.push_back({pc, caps}); }

    struct Entry {
        int pc;
        Captures caps;
    };
    std::vector<Entry>& Threads() { return threads_; }

private:
    std::vector<Entry> threads_;
    std::vector<std::uint32_t> mark_;
    std::uint32_t generation_ = 1;
};

class Matcher {
public:
    explicit Matcher(const Program& program)
        : program_(program), current_(program.code.size()), next_(program.code.size()) {}

    // Leftmost match starting at or after `from`, with the priorities of the pattern
    // (greedy or lazy). False when there is none.
    bool Search(const std::wstring& text, std::size_t from, Captures& found) {
        const int length = static_cast<int>(text.size());
        bool matched = false;
        current_.Clear();
        for (int position = static_cast<int>(from); position <= length; ++position) {
            if (!matched) {
                AddThread(current_, 0, Captures{}, position);
            }
            if (current_.Threads().empty()) {
                break;
            }
            next_.Clear();
            for (const ThreadList::Entry& thread : current_.Threads()) {
                const Instruction& i = program_.code[static_cast<std::size_t>(thread.pc)];
                bool advance = false;
                switch (i.op) {
                    case Op::Match:
                        found = thread.caps;
                        found.slot[1] = position;
                        matched = true;
                        break;
                    case Op::Literal:
                        advance = position < length && text[static_cast<std::size_t>(position)] == i.literal;
                        break;
                    case Op::Any:
                        advance = position < length;
                        break;
                    case Op::Set:
                        advance = position < length &&
                                  program_.sets[static_cast<std::size_t>(i.set)].Contains(
                                      text[static_cast<std::size_t>(position)]);
                        break;
                    default:
                        break;
                }
                if (i.op == Op::Match) {
                    break;  // threads of lower priority lose to this match
                }
                if (advance) {
                    AddThread(next_, thread.pc + 1, thread.caps, position + 1);
                }
            }
            std::swap(current_, next_);
            if (position == length) {
                break;
            }
        }
        return matched;
    }

private:
    struct Work {
        int pc;  // -1: restore `slot` to `value`
        int slot;
        int value;
    };

    // Follows jumps, splits and saves from `pc` with an explicit stack, adding every
    // instruction that consumes a character (or matches) in priority order.
    void AddThread(ThreadList& list, int pc, Captures caps, int position) {
        stack_.clear();
        stack_.push_back({pc, 0, 0});
        while (!stack_.empty()) {
            const Work work = stack_.back();
            stack_.pop_back();
            if (work.pc < 0) {
                caps.slot[work.slot] = work.value;
                continue;
            }
            if (list.Marked(work.pc)) {
                continue;
            }
            list.Mark(work.pc);
            const Instruction& i = program_.code[static_cast<std::size_t>(work.pc)];
            switch (i.op) {
                case Op::Jump:
                    stack_.push_back({i.x, 0, 0});
                    break;
                case Op::Split:
                    stack_.push_back({i.y, 0, 0});
                    stack_.push_back({i.x, 0, 0});
                    break;
                case Op::Save:
                    stack_.push_back({-1, i.x, caps.slot[i.x]});
                    caps.slot[i.x] = position;
                    stack_.push_back({work.pc + 1, 0, 0});
                    break;
                default:
                    list.Add(work.pc, caps);
                    break;
            }
        }
    }

    const Program& program_;
    ThreadList current_;
    ThreadList next_;
    std::vector<Work> stack_;
};

bool EqualIgnoringCase(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t k = 0; k < a.size(); ++k) {
        if (FoldCase(a[k]) != FoldCase(b[k])) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool RegexFindAll(const std::wstring& pattern, const std::wstring& text,
                  std::vector<std::wstring>& results) {
    results.clear();
    if (pattern.empty() || text.empty()) {
        return false;
    }
    Program program;
    const std::wstring foldedPattern = Folded(pattern);
    Parser parser(foldedPattern, program.sets);
    const std::unique_ptr<Node> tree = parser.ParseAll();
    if (!tree) {
        return false;
    }
    Instruction saveStart{Op::Save};
    saveStart.x = 0;
    program.Emit(saveStart);
    program.Compile(*tree);
    program.Emit({Op::Match});

    const std::wstring folded = Folded(text);
    Matcher matcher(program);
    std::size_t from = 0;
    while (from <= folded.size()) {
        Captures found;
        if (!matcher.Search(folded, from, found)) {
            break;
        }
        if (found.slot[2] >= 0 && found.slot[3] >= found.slot[2]) {
            std::wstring captured = text.substr(static_cast<std::size_t>(found.slot[2]),
                                                static_cast<std::size_t>(found.slot[3] - found.slot[2]));
            bool known = false;
            for (const std::wstring& existing : results) {
                if (EqualIgnoringCase(existing, captured)) {
                    known = true;
                    break;
                }
            }
            if (!known) {
                results.push_back(std::move(captured));
            }
        }
        const std::size_t end = static_cast<std::size_t>(found.slot[1]);
        // An empty match would be found again at the same place forever; step past it.
        from = end > static_cast<std::size_t>(found.slot[0]) ? end : end + 1;
        if (from >= folded.size()) {
            break;
        }
    }
    return true;
}

std::wstring TrimChars(const std::wstring& text, const std::wstring& characters) {
    const std::size_t first = text.find_first_not_of(characters);
    if (first == std::wstring::npos) {
        return std::wstring();
    }
    const std::size_t last = text.find_last_not_of(characters);
    return text.substr(first, last - first + 1);
}

}  // namespace Utils
