#include "LogStore.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include <sys/mman.h>

namespace varnetta::log {

namespace {

constexpr uint8_t kFunctionInArena = 0xFF;
constexpr uint16_t kUnitInArena = 0xFFFF;

// Arena tags: a length byte 0..20 before raw text, or a packed time stamp
// "hh:mm:ss(yyyy-mm-dd)" as 14 BCD digits (with ':' or a given separator).
constexpr uint8_t kTagPackedTime = 0x80;
constexpr uint8_t kTagPackedTimeSep = 0x81;
constexpr int kPackedDigits = 7;

// Where the fields live: these four always in the arena, the interned ones
// only when their dictionary is full.
constexpr std::array<int, 8> kArenaOrder = {fATime,     fAValue, fASubValue1, fASubValue2,
                                            fAFunction, fAUnit,  fASubUnit1,  fASubUnit2};

constexpr std::array<int, 14> kTimeDigitPos = {0, 1, 3, 4, 6, 7, 9, 10, 11, 12, 14, 15, 17, 18};

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isTimeStamp(QByteArrayView t)
{
    if (t.size() != 20)
        return false;
    for (int p : kTimeDigitPos)
        if (!isDigit(t[p]))
            return false;
    return t[2] == t[5] && !isDigit(t[2]) && t[8] == '(' && t[13] == '-' && t[16] == '-' && t[19] == ')';
}

int unitSlot(int field)
{
    return field == fAUnit ? 0 : field == fASubUnit1 ? 1 : 2;
}

// Copies a field's bytes (at most 24) with fixed-size moves, which the
// compiler turns into a few loads and stores rather than a library call.
inline void copyShort(char* to, const char* from, size_t n)
{
    if (n >= 8) {
        if (n >= 16)
            std::memcpy(to, from, 16);
        else
            std::memcpy(to, from, 8);
        std::memcpy(to + n - 8, from + n - 8, 8);
    } else if (n >= 4) {
        std::memcpy(to, from, 4);
        std::memcpy(to + n - 4, from + n - 4, 4);
    } else if (n > 0) {
        to[0] = from[0];
        to[n / 2] = from[n / 2];
        to[n - 1] = from[n - 1];
    }
}

inline bool sameText(const QByteArray& known, QByteArrayView text)
{
    if (known.size() != text.size())
        return false;
    const char* a = known.constData();
    const char* b = text.data();
    for (qsizetype i = 0; i < text.size(); ++i)
        if (a[i] != b[i])
            return false;
    return true;
}

// Bytes a row can take in the arena: each of the eight text fields at its
// widest with its tag.
constexpr size_t kMaxRowArenaBytes = 8 * (1 + kTextFieldWidth);

// A chunk's text bytes: one plain buffer written through a cursor, so that
// a row's fields go in without a check or a fill per byte. realloc lets a
// large buffer grow and shrink by remapping rather than copying.
class TArena
{
public:
    TArena() = default;
    ~TArena() { std::free(m_data); }
    TArena(const TArena&) = delete;
    TArena& operator=(const TArena&) = delete;

    [[nodiscard]] const char* data() const { return m_data; }
    [[nodiscard]] size_t size() const { return m_size; }
    [[nodiscard]] size_t capacity() const { return m_capacity; }
    char operator[](size_t i) const { return m_data[i]; }

    void reserve(size_t bytes)
    {
        if (bytes > m_capacity)
            reallocate(bytes);
    }
    // Where `bytes` more may be written; commit() then says how far.
    char* room(size_t bytes)
    {
        if (m_size + bytes > m_capacity)
            reallocate(std::max(m_size + bytes, m_capacity + m_capacity / 2));
        return m_data + m_size;
    }
    void commit(const char* end) { m_size = size_t(end - m_data); }
    void append(const char* from, size_t bytes)
    {
        char* at = room(bytes);
        std::memcpy(at, from, bytes);
        m_size += bytes;
    }
    void shrinkToFit()
    {
        if (m_size != 0 && m_size < m_capacity)
            reallocate(m_size);
    }

private:
    void reallocate(size_t bytes)
    {
        auto* grown = static_cast<char*>(std::realloc(m_data, bytes));
        if (!grown)
            throw std::bad_alloc();
        m_data = grown;
        m_capacity = bytes;
    }

    char* m_data = nullptr;
    size_t m_size = 0;
    size_t m_capacity = 0;
};

} // namespace

const char* LogFieldName(int field)
{
    static const char* const names[kLogFieldCount] = {
        "ANo", "ATime", "AFunction", "AValue", "AUnit", "ASubValue1", "ASubUnit1", "ASubValue2", "ASubUnit2"};
    return field >= 0 && field < kLogFieldCount ? names[field] : "";
}

namespace {
QByteArrayView fieldRuleView(QByteArrayView text)
{
    qsizetype n = std::min<qsizetype>(text.size(), kTextFieldWidth);
    while (n > 0 && text[n - 1] == ' ')
        --n;
    return text.first(n);
}
} // namespace

QByteArray FieldTextRule(QByteArrayView text)
{
    return fieldRuleView(text).toByteArray();
}

struct TLogStore::Chunk
{
    std::vector<qint32> ano;
    std::vector<uint32_t> offset; // first arena byte of the row
    std::vector<uint16_t> nullMask;
    std::vector<uint8_t> state;
    std::vector<uint8_t> function;
    std::array<std::vector<uint16_t>, 3> unit;
    TArena arena;

    // `arenaBytes`: what the arena is expected to hold when full.
    explicit Chunk(size_t arenaBytes = kChunkRows * 28)
    {
        ano.reserve(kChunkRows);
        offset.reserve(kChunkRows);
        nullMask.reserve(kChunkRows);
        state.reserve(kChunkRows);
        function.reserve(kChunkRows);
        for (auto& u : unit)
            u.reserve(kChunkRows);
        arena.reserve(arenaBytes);
        // The columns are about to be written from end to end: their pages
        // are mapped in one call rather than one fault at a time.
        prefault(ano);
        prefault(offset);
        prefault(nullMask);
        prefault(state);
        prefault(function);
        for (auto& u : unit)
            prefault(u);
        prefault(arena);
    }
    template <class V> static void prefault(V& v)
    {
#ifdef MADV_POPULATE_WRITE
        const auto page = uintptr_t(4096);
        const auto begin = (uintptr_t(v.data()) + page - 1) & ~(page - 1);
        const auto end = (uintptr_t(v.data()) + v.capacity() * sizeof(v[0])) & ~(page - 1);
        if (end > begin)
            (void)madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
#else
        (void)v;
#endif
    }
    [[nodiscard]] qsizetype size() const { return qsizetype(ano.size()); }
    [[nodiscard]] bool null(qsizetype local, int field) const { return (nullMask[local] >> field) & 1u; }

    // Writes a field at `p` (room for it assured) and gives the end.
    static char* putText(char* p, QByteArrayView t, bool mayPack)
    {
        if (mayPack && isTimeStamp(t)) {
            if (t[2] == ':') {
                *p++ = char(kTagPackedTime);
            } else {
                *p++ = char(kTagPackedTimeSep);
                *p++ = t[2];
            }
            for (int i = 0; i < kPackedDigits; ++i) {
                const int hi = t[kTimeDigitPos[2 * i]] - '0';
                const int lo = t[kTimeDigitPos[2 * i + 1]] - '0';
                *p++ = char((hi << 4) | lo);
            }
            return p;
        }
        *p++ = char(t.size());
        copyShort(p, t.data(), size_t(t.size()));
        return p + t.size();
    }

    // A full chunk gives back what its arena holds spare, unless that is
    // little: copying the arena costs more than the bytes are worth.
    void shrink()
    {
        if (arena.capacity() - arena.size() > arena.size() / 16)
            arena.shrinkToFit();
    }
    // What the next chunk's arena should expect, going by this one's.
    [[nodiscard]] size_t nextArenaBytes() const { return arena.size() + arena.size() / 32 + 64; }

    // The rows of `next` after this chunk's own.
    void takeRowsOf(const Chunk& next) { takeRowsOf(next, 0, next.size(), {}, {}); }

    // Rows [from, from + count) of `source` after this chunk's own, its
    // dictionary ids passed through the maps (empty maps: the same ids).
    void takeRowsOf(const Chunk& source, qsizetype from, qsizetype count, const std::vector<uint16_t>& unitMap,
                    const std::vector<uint8_t>& functionMap)
    {
        const auto to = from + count;
        const uint32_t first = source.offset[size_t(from)];
        const uint32_t last = to < source.size() ? source.offset[size_t(to)] : uint32_t(source.arena.size());
        const auto shift = uint32_t(arena.size()) - first;
        const auto range = [&](const auto& v) { return std::pair(v.begin() + from, v.begin() + to); };
        const auto copy = [&](auto& into, const auto& v) {
            const auto [b, e] = range(v);
            into.insert(into.end(), b, e);
        };
        copy(ano, source.ano);
        for (qsizetype i = from; i < to; ++i)
            offset.push_back(source.offset[size_t(i)] + shift);
        copy(nullMask, source.nullMask);
        copy(state, source.state);
        // A null field's id is 0 whatever the dictionary; ids past a map
        // (the arena marks) stay as they are.
        if (functionMap.empty()) {
            copy(function, source.function);
        } else {
            for (qsizetype i = from; i < to; ++i) {
                const uint8_t id = source.function[size_t(i)];
                function.push_back(id < functionMap.size() ? functionMap[id] : id);
            }
        }
        for (size_t u = 0; u < unit.size(); ++u) {
            if (unitMap.empty()) {
                copy(unit[u], source.unit[u]);
                continue;
            }
            for (qsizetype i = from; i < to; ++i) {
                const uint16_t id = source.unit[u][size_t(i)];
                unit[u].push_back(id < unitMap.size() ? unitMap[id] : id);
            }
        }
        arena.append(source.arena.data() + first, last - first);
    }
};

TLogStore::TLogStore() = default;
TLogStore::~TLogStore() = default;
TLogStore::TLogStore(TLogStore&&) noexcept = default;
TLogStore& TLogStore::operator=(TLogStore&&) noexcept = default;

TLogStore::Chunk& TLogStore::chunkForAppend()
{
    const qsizetype capacity = m_chunks.size() == 1 ? kChunkRows - m_firstChunkShift : kChunkRows;
    if (m_chunks.empty() || m_chunks.back()->size() >= capacity) {
        if (m_chunks.empty()) {
            m_chunks.push_back(std::make_unique<Chunk>());
        } else {
            Chunk& full = *m_chunks.back();
            full.shrink();
            // The rows to come are likely much like the last chunk's.
            const bool whole = m_chunks.size() > 1 || m_firstChunkShift == 0;
            m_chunks.push_back(whole ? std::make_unique<Chunk>(full.nextArenaBytes()) : std::make_unique<Chunk>());
        }
    }
    return *m_chunks.back();
}

uint16_t TLogStore::internUnit(QByteArrayView text, int slot)
{
    // Units seldom change from one row to the next.
    const uint16_t last = m_lastUnit[size_t(slot)];
    if (last < m_units.size() && sameText(m_units[last], text))
        return last;
    const auto it = m_unitIds.constFind(text.toByteArray());
    if (it != m_unitIds.constEnd())
        return m_lastUnit[size_t(slot)] = it.value();
    if (m_units.size() >= kUnitInArena)
        return kUnitInArena;
    const auto id = uint16_t(m_units.size());
    m_units.push_back(text.toByteArray());
    m_unitIds.insert(m_units.back(), id);
    return m_lastUnit[size_t(slot)] = id;
}

uint8_t TLogStore::internFunction(QByteArrayView text)
{
    if (m_lastFunction < m_functions.size() && sameText(m_functions[m_lastFunction], text))
        return m_lastFunction;
    const auto it = m_functionIds.constFind(text.toByteArray());
    if (it != m_functionIds.constEnd())
        return m_lastFunction = it.value();
    if (m_functions.size() >= kFunctionInArena)
        return kFunctionInArena;
    const auto id = uint8_t(m_functions.size());
    m_functions.push_back(text.toByteArray());
    m_functionIds.insert(m_functions.back(), id);
    return m_lastFunction = id;
}

void TLogStore::appendRow(const TLogRow& row)
{
    TLogRowView v;
    v.ANo = row.ANo;
    v.rowState = row.rowState;
    for (int f = 1; f < kLogFieldCount; ++f)
        if (row.text[size_t(f)])
            v.setText(f, *row.text[size_t(f)]);
    appendRow(v);
}

void TLogStore::appendRow(const TLogRowView& row)
{
    Chunk& c = chunkForAppend();
    const uint32_t assigned = row.assigned;
    const auto has = [&](int f) { return (assigned >> f) & 1u; };
    const auto mask = uint16_t((~assigned & 0x1FEu) | (row.ANo ? 0u : 1u));

    std::array<QByteArrayView, kLogFieldCount> texts;
    for (int f = 1; f < kLogFieldCount; ++f)
        if (has(f))
            texts[size_t(f)] = fieldRuleView(row.text[size_t(f)]);

    const uint8_t fn = has(fAFunction) ? internFunction(texts[fAFunction]) : 0;
    std::array<uint16_t, 3> units{};
    for (int f : {fAUnit, fASubUnit1, fASubUnit2})
        if (has(f))
            units[size_t(unitSlot(f))] = internUnit(texts[size_t(f)], unitSlot(f));

    c.ano.push_back(row.ANo.value_or(0));
    c.offset.push_back(uint32_t(c.arena.size()));
    c.nullMask.push_back(mask);
    c.state.push_back(row.rowState);
    c.function.push_back(fn);
    for (int i = 0; i < 3; ++i)
        c.unit[size_t(i)].push_back(units[size_t(i)]);

    // The texts last, through one cursor: the value fields and the time
    // always, the interned ones only when their dictionary is full.
    char* p = c.arena.room(kMaxRowArenaBytes);
    if (has(fATime))
        p = Chunk::putText(p, texts[fATime], true);
    for (int f : {fAValue, fASubValue1, fASubValue2})
        if (has(f))
            p = Chunk::putText(p, texts[size_t(f)], false);
    if (fn == kFunctionInArena && has(fAFunction))
        p = Chunk::putText(p, texts[fAFunction], false);
    for (int f : {fAUnit, fASubUnit1, fASubUnit2})
        if (units[size_t(unitSlot(f))] == kUnitInArena && has(f))
            p = Chunk::putText(p, texts[size_t(f)], false);
    c.arena.commit(p);
    ++m_rowCount;
}

bool TLogStore::isNull(qsizetype row, int field) const
{
    const Place p = locate(row);
    return m_chunks[p.chunk]->null(p.local, field);
}

std::optional<qint32> TLogStore::ANo(qsizetype row) const
{
    const Place p = locate(row);
    const Chunk& c = *m_chunks[p.chunk];
    const qsizetype local = p.local;
    if (c.null(local, fANo))
        return std::nullopt;
    return c.ano[local];
}

uint8_t TLogStore::rowState(qsizetype row) const
{
    const Place p = locate(row);
    return m_chunks[p.chunk]->state[p.local];
}

QByteArrayView TLogStore::arenaField(const Chunk& c, qsizetype local, int field,
                                     std::array<char, 24>& scratch) const
{
    size_t pos = c.offset[local];
    for (int f : kArenaOrder) {
        if (c.null(local, f))
            continue;
        if (f == fAFunction && c.function[local] != kFunctionInArena)
            continue;
        if ((f == fAUnit || f == fASubUnit1 || f == fASubUnit2) && c.unit[unitSlot(f)][local] != kUnitInArena)
            continue;
        const auto tag = uint8_t(c.arena[pos]);
        if (f != field) {
            pos += 1 + (tag <= kTextFieldWidth  ? tag
                        : tag == kTagPackedTime ? kPackedDigits
                                                : kPackedDigits + 1);
            continue;
        }
        if (tag <= kTextFieldWidth)
            return QByteArrayView(c.arena.data() + pos + 1, tag);
        char sep = ':';
        ++pos;
        if (tag == kTagPackedTimeSep)
            sep = c.arena[pos++];
        std::memcpy(scratch.data(), "00:00:00(0000-00-00)", 20);
        scratch[2] = scratch[5] = sep;
        for (int i = 0; i < kPackedDigits; ++i) {
            const auto b = uint8_t(c.arena[pos + size_t(i)]);
            scratch[size_t(kTimeDigitPos[2 * i])] = char('0' + (b >> 4));
            scratch[size_t(kTimeDigitPos[2 * i + 1])] = char('0' + (b & 0x0F));
        }
        return QByteArrayView(scratch.data(), 20);
    }
    return {};
}

void TLogStore::readRow(qsizetype row, TLogRowView& out, std::array<char, 24>& scratch) const
{
    const Place p = locate(row);
    const Chunk& c = *m_chunks[p.chunk];
    const qsizetype local = p.local;
    const uint32_t nulls = c.nullMask[size_t(local)];
    out.assigned = uint16_t(~nulls & 0x1FEu);
    out.rowState = c.state[size_t(local)];
    if (nulls & 1u)
        out.ANo.reset();
    else
        out.ANo = c.ano[size_t(local)];
    const uint8_t fn = c.function[size_t(local)];
    std::array<uint16_t, 3> units{};
    for (size_t u = 0; u < units.size(); ++u)
        units[u] = c.unit[u][size_t(local)];
    if (!(nulls & (1u << fAFunction)) && fn != kFunctionInArena)
        out.text[fAFunction] = m_functions[fn];
    for (int f : {fAUnit, fASubUnit1, fASubUnit2})
        if (!((nulls >> f) & 1u) && units[size_t(unitSlot(f))] != kUnitInArena)
            out.text[size_t(f)] = m_units[units[size_t(unitSlot(f))]];

    // The arena's fields in their order, each read once.
    const char* a = c.arena.data() + c.offset[size_t(local)];
    for (int f : kArenaOrder) {
        if ((nulls >> f) & 1u)
            continue;
        if (f == fAFunction && fn != kFunctionInArena)
            continue;
        if ((f == fAUnit || f == fASubUnit1 || f == fASubUnit2) && units[size_t(unitSlot(f))] != kUnitInArena)
            continue;
        const auto tag = uint8_t(*a++);
        if (tag <= kTextFieldWidth) {
            out.text[size_t(f)] = QByteArrayView(a, tag);
            a += tag;
            continue;
        }
        char sep = ':';
        if (tag == kTagPackedTimeSep)
            sep = *a++;
        std::memcpy(scratch.data(), "00:00:00(0000-00-00)", 20);
        scratch[2] = scratch[5] = sep;
        for (int i = 0; i < kPackedDigits; ++i) {
            const auto b = uint8_t(a[i]);
            scratch[size_t(kTimeDigitPos[2 * i])] = char('0' + (b >> 4));
            scratch[size_t(kTimeDigitPos[2 * i + 1])] = char('0' + (b & 0x0F));
        }
        a += kPackedDigits;
        out.text[size_t(f)] = QByteArrayView(scratch.data(), 20);
    }
}

QByteArrayView TLogStore::fieldView(qsizetype row, int field, std::array<char, 24>& scratch) const
{
    const Place p = locate(row);
    const Chunk& c = *m_chunks[p.chunk];
    const qsizetype local = p.local;
    if (field < 0 || field >= kLogFieldCount || c.null(local, field))
        return {};
    if (field == fANo) {
        const QByteArray n = QByteArray::number(c.ano[local]);
        std::memcpy(scratch.data(), n.constData(), size_t(n.size()));
        return QByteArrayView(scratch.data(), n.size());
    }
    if (field == fAFunction && c.function[local] != kFunctionInArena)
        return m_functions[c.function[local]];
    if ((field == fAUnit || field == fASubUnit1 || field == fASubUnit2) &&
        c.unit[unitSlot(field)][local] != kUnitInArena)
        return m_units[c.unit[unitSlot(field)][local]];
    return arenaField(c, local, field, scratch);
}

QByteArray TLogStore::fieldText(qsizetype row, int field) const
{
    std::array<char, 24> scratch{};
    return fieldView(row, field, scratch).toByteArray();
}

TLogRow TLogStore::row(qsizetype row) const
{
    TLogRow r;
    r.ANo = ANo(row);
    r.rowState = rowState(row);
    for (int f = 1; f < kLogFieldCount; ++f)
        if (!isNull(row, f))
            r.text[f] = fieldText(row, f);
    return r;
}

void TLogStore::appendFrom(TLogStore&& other)
{
    // An empty tail keeps its layout and dictionaries, which follow its base's.
    if (m_rowCount == 0 && m_changeCount == 0 && m_firstChunkShift == 0 && m_tailOf == TailMark{}) {
        *this = std::move(other);
        m_tailOf = {};
        other.clear();
        return;
    }
    // The other store's dictionary ids in this one's; when this one's is
    // full the texts would have to move into the arena: row by row then.
    std::vector<uint16_t> unitMap(other.m_units.size());
    std::vector<uint8_t> functionMap(other.m_functions.size());
    bool byRow = false;
    for (size_t i = 0; i < unitMap.size() && !byRow; ++i)
        byRow = (unitMap[i] = internUnit(other.m_units[i], 0)) == kUnitInArena;
    for (size_t i = 0; i < functionMap.size() && !byRow; ++i)
        byRow = (functionMap[i] = internFunction(other.m_functions[i])) == kFunctionInArena;
    const auto base = qint32(m_rowCount);
    if (byRow) {
        for (qsizetype i = 0; i < other.rowCount(); ++i)
            appendRow(other.row(i));
    } else {
        // Whole runs of rows at a time; each chunk of the other store is
        // let go as soon as its rows are over.
        for (auto& source : other.m_chunks) {
            const qsizetype n = source->size();
            for (qsizetype from = 0; from < n;) {
                Chunk& to = chunkForAppend();
                const qsizetype capacity = m_chunks.size() == 1 ? kChunkRows - m_firstChunkShift : kChunkRows;
                const qsizetype take = std::min(capacity - to.size(), n - from);
                to.takeRowsOf(*source, from, take, unitMap, functionMap);
                from += take;
                m_rowCount += take;
            }
            source.reset();
        }
    }
    appendChangeRunsOf(other, base);
    other.clear();
}

void TLogStore::appendChangeRunsOf(const TLogStore& other, qint32 base)
{
    for (ChangeRun run : other.m_changeRuns) {
        run.first.position += base;
        run.startIndex += m_changeCount;
        if (!m_changeRuns.empty()) {
            ChangeRun& last = m_changeRuns.back();
            if (last.first.detail == run.first.detail && last.first.kind == run.first.kind &&
                qint64(last.first.position) + last.count == run.first.position) {
                last.count += run.count;
                continue;
            }
        }
        m_changeRuns.push_back(run);
    }
    m_changeCount += other.m_changeCount;
}

bool TLogStore::sameContent(const TLogStore& other) const
{
    if (rowCount() != other.rowCount() || changeLogSize() != other.changeLogSize())
        return false;
    for (qsizetype r = 0; r < rowCount(); ++r)
        if (!(row(r) == other.row(r)))
            return false;
    for (qsizetype i = 0; i < changeLogSize(); ++i)
        if (!(changeLogEntry(i) == other.changeLogEntry(i)))
            return false;
    return true;
}

TLogStore TLogStore::tailFor(const TLogStore& base)
{
    TLogStore tail;
    tail.m_units = base.m_units;
    tail.m_unitIds = base.m_unitIds;
    tail.m_functions = base.m_functions;
    tail.m_functionIds = base.m_functionIds;
    tail.m_lastUnit = base.m_lastUnit;
    tail.m_lastFunction = base.m_lastFunction;
    tail.m_firstChunkShift = base.lastChunkFill();
    tail.m_tailOf = {base.m_rowCount, base.m_units.size(), base.m_functions.size()};
    return tail;
}

void TLogStore::appendTail(TLogStore&& tail)
{
    // Made for this store as it is now? If not (or no tail at all), the
    // dictionaries or the seam do not match and the rows are copied.
    const TailMark now{m_rowCount, m_units.size(), m_functions.size()};
    if (tail.m_tailOf != now || tail.m_firstChunkShift != lastChunkFill()) {
        appendFrom(std::move(tail));
        return;
    }
    auto next = tail.m_chunks.begin();
    if (tail.m_firstChunkShift != 0 && next != tail.m_chunks.end()) {
        // The seam: the tail's first chunk completes this store's last one.
        m_chunks.back()->takeRowsOf(**next);
        ++next;
    }
    for (; next != tail.m_chunks.end(); ++next) {
        if (!m_chunks.empty())
            m_chunks.back()->shrink();
        m_chunks.push_back(std::move(*next));
    }
    const auto base = qint32(m_rowCount);
    m_rowCount += tail.m_rowCount;
    // The tail's dictionaries began as copies of these and only grew.
    m_units = std::move(tail.m_units);
    m_unitIds = std::move(tail.m_unitIds);
    m_functions = std::move(tail.m_functions);
    m_functionIds = std::move(tail.m_functionIds);
    m_lastUnit = tail.m_lastUnit;
    m_lastFunction = tail.m_lastFunction;
    appendChangeRunsOf(tail, base);
    tail.clear();
}

void TLogStore::clear()
{
    m_chunks.clear();
    m_firstChunkShift = 0;
    m_tailOf = {};
    m_rowCount = 0;
    m_units.clear();
    m_unitIds.clear();
    m_functions.clear();
    m_functionIds.clear();
    m_lastUnit = {};
    m_lastFunction = 0;
    m_changeRuns.clear();
    m_changeCount = 0;
}

qsizetype TLogStore::changeLogSize() const
{
    return m_changeCount;
}

TChangeEntry TLogStore::changeLogEntry(qsizetype index) const
{
    // The run holding `index`: the last one starting at or before it.
    const auto it = std::upper_bound(m_changeRuns.begin(), m_changeRuns.end(), index,
                                     [](qsizetype i, const ChangeRun& r) { return i < r.startIndex; });
    const ChangeRun& run = *(it - 1);
    TChangeEntry e = run.first;
    e.position += qint32(index - run.startIndex);
    return e;
}

void TLogStore::appendChange(const TChangeEntry& entry)
{
    if (!m_changeRuns.empty()) {
        ChangeRun& last = m_changeRuns.back();
        if (last.first.detail == entry.detail && last.first.kind == entry.kind &&
            qint64(last.first.position) + last.count == entry.position) {
            ++last.count;
            ++m_changeCount;
            return;
        }
    }
    m_changeRuns.push_back({entry, m_changeCount, 1});
    ++m_changeCount;
}

qsizetype TLogStore::memoryBytes() const
{
    qsizetype bytes = sizeof(*this);
    for (const auto& c : m_chunks) {
        bytes += sizeof(Chunk);
        bytes += qsizetype(c->ano.capacity() * sizeof(qint32) + c->offset.capacity() * sizeof(uint32_t) +
                           c->nullMask.capacity() * sizeof(uint16_t) + c->state.capacity() +
                           c->function.capacity() + c->arena.capacity());
        for (const auto& u : c->unit)
            bytes += qsizetype(u.capacity() * sizeof(uint16_t));
    }
    bytes += qsizetype(m_chunks.capacity() * sizeof(void*));
    for (const QByteArray& u : m_units)
        bytes += u.capacity() + qsizetype(sizeof(QByteArray)) * 3;
    for (const QByteArray& f : m_functions)
        bytes += f.capacity() + qsizetype(sizeof(QByteArray)) * 3;
    bytes += qsizetype(m_changeRuns.capacity() * sizeof(ChangeRun));
    return bytes;
}

} // namespace varnetta::log
