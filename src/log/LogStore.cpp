#include "LogStore.h"

#include <algorithm>
#include <cstring>
#include <new>

#include <sys/mman.h>

#if defined(__SANITIZE_ADDRESS__)
#define VARNETTA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VARNETTA_ASAN 1
#endif
#endif
#if defined(VARNETTA_ASAN)
#include <sanitizer/asan_interface.h>
// The address checker sees a block's unused room as out of bounds.
#define VARNETTA_POISON(at, bytes) ASAN_POISON_MEMORY_REGION(at, bytes)
#define VARNETTA_UNPOISON(at, bytes) ASAN_UNPOISON_MEMORY_REGION(at, bytes)
#else
#define VARNETTA_POISON(at, bytes) ((void)(at), (void)(bytes))
#define VARNETTA_UNPOISON(at, bytes) ((void)(at), (void)(bytes))
#endif

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

// Memory for chunks, handed out from the front of one large mapping that
// the system may back with 2 MiB pages. A fresh 4 KiB page costs a fault
// (on some virtual machines many microseconds), and a full log would touch
// over a hundred thousand of them. A chunk keeps the blocks it lives in.
class TStoreBlock
{
public:
    static constexpr size_t kHugePage = size_t(2) << 20;

    explicit TStoreBlock(size_t bytes)
    {
        m_size = (bytes + kHugePage - 1) & ~(kHugePage - 1);
        // Mapped with room to start on a 2 MiB boundary; the rest is let go.
        const size_t mapped = m_size + kHugePage;
        void* map = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (map == MAP_FAILED)
            throw std::bad_alloc();
        auto* const start = static_cast<char*>(map);
        m_base = reinterpret_cast<char*>((uintptr_t(start) + kHugePage - 1) & ~uintptr_t(kHugePage - 1));
        if (m_base > start)
            munmap(start, size_t(m_base - start));
        if (char* const end = m_base + m_size; end < start + mapped)
            munmap(end, size_t(start + mapped - end));
#ifdef MADV_HUGEPAGE
        (void)madvise(m_base, m_size, MADV_HUGEPAGE);
#endif
        VARNETTA_POISON(m_base, m_size);
    }
    ~TStoreBlock()
    {
        VARNETTA_UNPOISON(m_base, m_size);
        munmap(m_base, m_size);
    }
    TStoreBlock(const TStoreBlock&) = delete;
    TStoreBlock& operator=(const TStoreBlock&) = delete;

    [[nodiscard]] size_t size() const { return m_size; }
    [[nodiscard]] size_t left() const { return m_size - m_used; }
    // `bytes` from the front, or nullptr when they do not fit.
    char* take(size_t bytes)
    {
        bytes = roundUp(bytes);
        if (bytes > left())
            return nullptr;
        char* const at = m_base + m_used;
        m_used += bytes;
        VARNETTA_UNPOISON(at, bytes);
        return at;
    }
    // Grows the last piece handed out, which ends at `end`, in place.
    bool extend(const char* end, size_t bytes)
    {
        bytes = roundUp(bytes);
        if (end != m_base + m_used || bytes > left())
            return false;
        VARNETTA_UNPOISON(m_base + m_used, bytes);
        m_used += bytes;
        return true;
    }
    // Takes back [from, end) when it is the end of the last piece.
    void giveBack(const char* from, const char* end)
    {
        if (end == m_base + m_used) {
            m_used = roundUp(size_t(from - m_base));
            VARNETTA_POISON(m_base + m_used, size_t(end - (m_base + m_used)));
        }
    }

private:
    static size_t roundUp(size_t bytes) { return (bytes + 15) & ~size_t(15); }

    char* m_base = nullptr;
    size_t m_size = 0;
    size_t m_used = 0;
};

struct TLogStore::Chunk
{
    // The columns, kChunkRows each, and the arena after them; both in
    // store blocks, which the chunk keeps alive wherever it moves.
    std::shared_ptr<TStoreBlock> columnBlock;
    std::shared_ptr<TStoreBlock> arenaBlock;
    qint32* ano = nullptr;
    uint32_t* offset = nullptr; // first arena byte of the row
    uint16_t* nullMask = nullptr;
    std::array<uint16_t*, 3> unit{};
    uint8_t* state = nullptr;
    uint8_t* function = nullptr;
    char* arena = nullptr;
    size_t arenaSize = 0;
    size_t arenaCapacity = 0;
    qsizetype rows = 0;

    static constexpr size_t kColumnBytes =
        size_t(kChunkRows) * (sizeof(qint32) + sizeof(uint32_t) + sizeof(uint16_t) * 4 + 2);

    Chunk(std::shared_ptr<TStoreBlock> block, char* columns) : columnBlock(std::move(block))
    {
        ano = reinterpret_cast<qint32*>(columns);
        offset = reinterpret_cast<uint32_t*>(ano + kChunkRows);
        nullMask = reinterpret_cast<uint16_t*>(offset + kChunkRows);
        unit[0] = nullMask + kChunkRows;
        unit[1] = unit[0] + kChunkRows;
        unit[2] = unit[1] + kChunkRows;
        state = reinterpret_cast<uint8_t*>(unit[2] + kChunkRows);
        function = state + kChunkRows;
    }
    [[nodiscard]] qsizetype size() const { return rows; }
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
};

TLogStore::TLogStore() = default;
TLogStore::~TLogStore() = default;
TLogStore::TLogStore(TLogStore&&) noexcept = default;
TLogStore& TLogStore::operator=(TLogStore&&) noexcept = default;

namespace {
constexpr size_t kFirstBlockBytes = size_t(4) << 20;
constexpr size_t kMostBlockBytes = size_t(64) << 20;
// A first chunk's arena: 28 bytes a row, what a meter's rows take.
constexpr size_t kFirstArenaBytes = size_t(65536) * 28;

size_t roundUp16(size_t bytes)
{
    return (bytes + 15) & ~size_t(15);
}
} // namespace

char* TLogStore::blockBytes(size_t bytes, std::shared_ptr<TStoreBlock>& owner)
{
    bytes = roundUp16(bytes);
    if (!m_block || m_block->left() < bytes) {
        m_nextBlockBytes = std::clamp(m_nextBlockBytes, kFirstBlockBytes, kMostBlockBytes);
        m_block = std::make_shared<TStoreBlock>(std::max(bytes, m_nextBlockBytes));
        m_nextBlockBytes *= 2;
    }
    owner = m_block;
    return m_block->take(bytes);
}

std::unique_ptr<TLogStore::Chunk> TLogStore::newChunk(size_t arenaBytes)
{
    arenaBytes = roundUp16(std::max<size_t>(arenaBytes, kMaxRowArenaBytes));
    // Columns and arena in one block, the arena last so that it can grow
    // in place.
    if (m_block && m_block->left() < Chunk::kColumnBytes + arenaBytes)
        m_block.reset();
    std::shared_ptr<TStoreBlock> owner;
    char* const columns = blockBytes(Chunk::kColumnBytes + arenaBytes, owner);
    auto c = std::make_unique<Chunk>(owner, columns);
    // The whole piece was taken at once: the arena is its end.
    c->arena = columns + Chunk::kColumnBytes;
    c->arenaCapacity = arenaBytes;
    c->arenaBlock = std::move(owner);
    return c;
}

char* TLogStore::arenaRoom(Chunk& c, size_t bytes)
{
    if (c.arenaSize + bytes <= c.arenaCapacity)
        return c.arena + c.arenaSize;
    return growArena(c, bytes);
}

char* TLogStore::growArena(Chunk& c, size_t bytes)
{
    const size_t step = roundUp16(std::max(bytes, c.arenaCapacity / 2 + 4096));
    if (c.arenaBlock && c.arenaBlock == m_block && m_block->extend(c.arena + c.arenaCapacity, step)) {
        c.arenaCapacity += step;
        return c.arena + c.arenaSize;
    }
    const size_t capacity = roundUp16(std::max(c.arenaSize + bytes, c.arenaCapacity * 2));
    std::shared_ptr<TStoreBlock> owner;
    char* const moved = blockBytes(capacity, owner);
    if (c.arenaSize > 0)
        std::memcpy(moved, c.arena, c.arenaSize);
    if (c.arenaBlock)
        c.arenaBlock->giveBack(c.arena, c.arena + c.arenaCapacity);
    c.arena = moved;
    c.arenaCapacity = capacity;
    c.arenaBlock = std::move(owner);
    return c.arena + c.arenaSize;
}

void TLogStore::finishChunk(Chunk& c)
{
    if (c.arenaBlock) {
        const size_t kept = roundUp16(c.arenaSize);
        if (kept < c.arenaCapacity) {
            c.arenaBlock->giveBack(c.arena + kept, c.arena + c.arenaCapacity);
            c.arenaCapacity = kept;
        }
    }
}

void TLogStore::takeRows(Chunk& to, const Chunk& source, qsizetype from, qsizetype count,
                         const std::vector<uint16_t>& unitMap, const std::vector<uint8_t>& functionMap)
{
    const qsizetype end = from + count;
    const uint32_t first = source.offset[from];
    const uint32_t last = end < source.size() ? source.offset[end] : uint32_t(source.arenaSize);
    const auto shift = uint32_t(to.arenaSize) - first;
    const qsizetype at = to.rows;
    const auto copy = [&](auto* into, const auto* column) {
        std::memcpy(into + at, column + from, size_t(count) * sizeof(*column));
    };
    copy(to.ano, source.ano);
    for (qsizetype i = 0; i < count; ++i)
        to.offset[at + i] = source.offset[from + i] + shift;
    copy(to.nullMask, source.nullMask);
    copy(to.state, source.state);
    // A null field's id is 0 whatever the dictionary; ids past a map
    // (the arena marks) stay as they are.
    if (functionMap.empty()) {
        copy(to.function, source.function);
    } else {
        for (qsizetype i = 0; i < count; ++i) {
            const uint8_t id = source.function[from + i];
            to.function[at + i] = id < functionMap.size() ? functionMap[id] : id;
        }
    }
    for (size_t u = 0; u < to.unit.size(); ++u) {
        if (unitMap.empty()) {
            copy(to.unit[u], source.unit[u]);
            continue;
        }
        for (qsizetype i = 0; i < count; ++i) {
            const uint16_t id = source.unit[u][from + i];
            to.unit[u][at + i] = id < unitMap.size() ? unitMap[id] : id;
        }
    }
    const size_t bytes = last - first;
    char* const into = arenaRoom(to, bytes);
    if (bytes > 0)
        std::memcpy(into, source.arena + first, bytes);
    to.arenaSize += bytes;
    to.rows += count;
}

TLogStore::Chunk& TLogStore::chunkForAppend()
{
    const qsizetype capacity = m_chunks.size() == 1 ? kChunkRows - m_firstChunkShift : kChunkRows;
    if (!m_chunks.empty() && m_chunks.back()->size() < capacity)
        return *m_chunks.back();
    size_t arenaBytes = kFirstArenaBytes;
    if (!m_chunks.empty()) {
        Chunk& full = *m_chunks.back();
        finishChunk(full);
        // The rows to come are likely much like the last chunk's.
        if (m_chunks.size() > 1 || m_firstChunkShift == 0)
            arenaBytes = full.arenaSize + full.arenaSize / 32 + 64;
    }
    m_chunks.push_back(newChunk(arenaBytes));
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

    const qsizetype at = c.rows;
    c.ano[at] = row.ANo.value_or(0);
    c.offset[at] = uint32_t(c.arenaSize);
    c.nullMask[at] = mask;
    c.state[at] = row.rowState;
    c.function[at] = fn;
    for (size_t i = 0; i < 3; ++i)
        c.unit[i][at] = units[i];
    ++c.rows;

    // The texts last, through one cursor: the value fields and the time
    // always, the interned ones only when their dictionary is full.
    char* const start = arenaRoom(c, kMaxRowArenaBytes);
    char* p = start;
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
    c.arenaSize += size_t(p - start);
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
            return QByteArrayView(c.arena + pos + 1, tag);
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
    const char* a = c.arena + c.offset[size_t(local)];
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
    } else if (m_rowCount > 0 && other.m_rowCount > 0 && other.m_firstChunkShift == 0) {
        // The other store's chunks move over as they are, dictionary ids
        // translated in place; a seam says where they begin.
        for (auto& chunk : other.m_chunks) {
            Chunk& c = *chunk;
            for (qsizetype i = 0; i < c.rows && !functionMap.empty(); ++i)
                if (c.function[i] < functionMap.size())
                    c.function[i] = functionMap[c.function[i]];
            for (uint16_t* ids : c.unit)
                for (qsizetype i = 0; i < c.rows && !unitMap.empty(); ++i)
                    if (ids[i] < unitMap.size())
                        ids[i] = unitMap[ids[i]];
        }
        finishChunk(*m_chunks.back());
        const size_t chunksBefore = m_chunks.size();
        m_seams.push_back({m_rowCount, chunksBefore});
        for (Seam seam : other.m_seams)
            m_seams.push_back({seam.firstRow + m_rowCount, seam.firstChunk + chunksBefore});
        for (auto& chunk : other.m_chunks)
            m_chunks.push_back(std::move(chunk));
        // The last chunk is the other's, whose arena grows in its block.
        m_block = std::move(other.m_block);
        m_rowCount += other.m_rowCount;
    } else {
        // Whole runs of rows at a time; each chunk of the other store is
        // let go as soon as its rows are over.
        for (auto& source : other.m_chunks) {
            const qsizetype n = source->size();
            for (qsizetype from = 0; from < n;) {
                Chunk& to = chunkForAppend();
                const qsizetype capacity = m_chunks.size() == 1 ? kChunkRows - m_firstChunkShift : kChunkRows;
                const qsizetype take = std::min(capacity - to.size(), n - from);
                takeRows(to, *source, from, take, unitMap, functionMap);
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
    // The tail's seams, in this store's rows and chunks.
    const bool merged = tail.m_firstChunkShift != 0 && !tail.m_chunks.empty();
    for (Seam seam : tail.m_seams)
        m_seams.push_back({seam.firstRow + m_rowCount, seam.firstChunk + m_chunks.size() - (merged ? 1 : 0)});
    auto next = tail.m_chunks.begin();
    if (tail.m_firstChunkShift != 0 && next != tail.m_chunks.end()) {
        // The seam: the tail's first chunk completes this store's last one.
        takeRows(*m_chunks.back(), **next, 0, (*next)->size(), {}, {});
        ++next;
    }
    for (; next != tail.m_chunks.end(); ++next) {
        if (!m_chunks.empty())
            finishChunk(*m_chunks.back());
        m_chunks.push_back(std::move(*next));
        // The last chunk is now the tail's, whose arena grows in its block.
        m_block = tail.m_block;
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
    m_seams.clear();
    m_block.reset();
    m_nextBlockBytes = 0;
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
    for (const auto& c : m_chunks)
        bytes += qsizetype(sizeof(Chunk) + Chunk::kColumnBytes + c->arenaCapacity);
    bytes += qsizetype(m_chunks.capacity() * sizeof(void*));
    for (const QByteArray& u : m_units)
        bytes += u.capacity() + qsizetype(sizeof(QByteArray)) * 3;
    for (const QByteArray& f : m_functions)
        bytes += f.capacity() + qsizetype(sizeof(QByteArray)) * 3;
    bytes += qsizetype(m_changeRuns.capacity() * sizeof(ChangeRun));
    return bytes;
}

} // namespace varnetta::log
