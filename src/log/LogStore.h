// The log table: rows of nine fields, held column-wise in chunks so that ten
// million rows fit in well under 48 bytes each. Function and unit texts are
// interned, value and time texts live in one byte arena per chunk, and a
// null mask tells a never-assigned field from one holding the empty text.
// No widget header: the grid model, the files and the report read it.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace varnetta::log {

class TStoreBlock;

// Field order of the log row; the text files rely on it.
enum TLogField : int
{
    fANo = 0,
    fATime,
    fAFunction,
    fAValue,
    fAUnit,
    fASubValue1,
    fASubUnit1,
    fASubValue2,
    fASubUnit2,
};
inline constexpr int kLogFieldCount = 9;
inline constexpr int kTextFieldWidth = 20; // bytes a text field keeps
inline constexpr uint8_t kRowStateInserted = 4;
inline constexpr qsizetype kMaxLogRows = 9999999; // "Unlimited"

// "ANo", "ATime", ... in field order.
[[nodiscard]] const char* LogFieldName(int field);

// What a text field stores of an assigned text: the first 20 bytes, without
// trailing blanks (leading blanks stay).
[[nodiscard]] QByteArray FieldTextRule(QByteArrayView text);

// One row as handed in or read out. Unset optionals are null fields.
struct TLogRow
{
    std::optional<qint32> ANo;
    std::array<std::optional<QByteArray>, kLogFieldCount> text; // [fANo] unused
    uint8_t rowState = 0;

    // Assigns through the field rule above.
    void setText(int field, QByteArrayView value) { text[field] = FieldTextRule(value); }
    friend bool operator==(const TLogRow&, const TLogRow&) = default;
};

// The same row as views into someone else's bytes, for readers that append
// millions of rows and should not allocate for each. A text field is null
// unless its bit in `assigned` is set.
struct TLogRowView
{
    std::optional<qint32> ANo;
    std::array<QByteArrayView, kLogFieldCount> text; // [fANo] unused
    uint16_t assigned = 0;
    uint8_t rowState = 0;

    void setText(int field, QByteArrayView value)
    {
        text[size_t(field)] = value;
        assigned |= uint16_t(1u << field);
    }
};

// One entry of the change log: the row's 1-based position, a second number
// kept as read (0 for this program's own entries) and the change kind.
struct TChangeEntry
{
    qint32 position = 0;
    qint32 detail = 0;
    qint32 kind = kRowStateInserted;
    friend bool operator==(const TChangeEntry&, const TChangeEntry&) = default;
};

class TLogStore
{
public:
    TLogStore();
    ~TLogStore();
    TLogStore(const TLogStore&) = delete;
    TLogStore& operator=(const TLogStore&) = delete;
    TLogStore(TLogStore&&) noexcept;
    TLogStore& operator=(TLogStore&&) noexcept;

    [[nodiscard]] qsizetype rowCount() const { return m_rowCount; }

    [[nodiscard]] bool isNull(qsizetype row, int field) const;
    // The field's bytes; ANo as decimal text; a null field gives empty.
    [[nodiscard]] QByteArray fieldText(qsizetype row, int field) const;
    // Same without an allocation: the view points into the store or into
    // `scratch` and stays valid until the store or scratch changes.
    [[nodiscard]] QByteArrayView fieldView(qsizetype row, int field, std::array<char, 24>& scratch) const;
    [[nodiscard]] std::optional<qint32> ANo(qsizetype row) const;
    [[nodiscard]] uint8_t rowState(qsizetype row) const;
    [[nodiscard]] TLogRow row(qsizetype row) const;
    // Every field of a row at once, for writers that go through millions
    // of rows: the views point into the store or into `scratch` (a packed
    // time) and stay valid until either changes.
    void readRow(qsizetype row, TLogRowView& out, std::array<char, 24>& scratch) const;

    // Stores the row at the end as given (texts pass the field rule again).
    void appendRow(const TLogRow& row);
    void appendRow(const TLogRowView& row);
    // Appends the rows of `other` after this store's, leaving `other` empty;
    // the change log entries of `other` follow, shifted by the rows before.
    // The other store's chunks move over as they are (dictionary ids
    // translated in place), so stores filled apart, e.g. by readers on
    // several threads, join without copying; a tail whose first chunk is
    // laid out to follow another store's is copied a chunk's worth at a
    // time, and rows go one by one only when this store's dictionaries are
    // full.
    void appendFrom(TLogStore&& other);

    // An empty store for rows that are to follow `base`'s: it starts with
    // base's dictionaries and a first chunk that just fills base's last one,
    // so that appendTail() takes its rows over whole chunks at a time rather
    // than row by row. May be filled on another thread while `base` stays
    // unchanged; reads of `base` meanwhile are safe.
    [[nodiscard]] static TLogStore tailFor(const TLogStore& base);
    // Appends a store made by tailFor(*this), leaving it empty; its change
    // log follows, shifted by this store's rows. Cheap when this store has
    // not changed since; otherwise the rows are copied one by one.
    void appendTail(TLogStore&& tail);

    // Rows, row states and change log all go.
    void clear();

    // The change log, oldest first.
    [[nodiscard]] qsizetype changeLogSize() const;
    [[nodiscard]] TChangeEntry changeLogEntry(qsizetype index) const;
    void appendChange(const TChangeEntry& entry);

    // The same rows, row states and change log.
    [[nodiscard]] bool sameContent(const TLogStore& other) const;

    // Bytes held, capacity included (the figure the memory budget is about).
    [[nodiscard]] qsizetype memoryBytes() const;

private:
    struct Chunk;
    struct ChangeRun
    {
        TChangeEntry first;
        qsizetype startIndex = 0; // index of `first` in the whole change log
        qint32 count = 1;         // entries whose positions count up from first.position
    };

    // Which chunk holds a row, and where in it.
    struct Place
    {
        size_t chunk;
        qsizetype local;
    };
    // Where joined stores meet: from `firstRow` on, rows lie in whole
    // chunks from `firstChunk` (the chunk before may be part full).
    struct Seam
    {
        qsizetype firstRow = 0;
        size_t firstChunk = 0;
    };
    [[nodiscard]] Place locate(qsizetype row) const
    {
        qsizetype base = 0;
        size_t first = 0;
        qsizetype shift = m_firstChunkShift;
        if (!m_seams.empty() && row >= m_seams.front().firstRow) {
            auto seam = m_seams.end() - 1;
            while (row < seam->firstRow)
                --seam;
            base = seam->firstRow;
            first = seam->firstChunk;
            shift = 0;
        }
        const qsizetype shifted = row - base + shift;
        const auto chunk = first + size_t(shifted / kChunkRows);
        return {chunk, chunk == first ? row - base : shifted % kChunkRows};
    }
    static constexpr qsizetype kChunkRows = qsizetype(1) << 16;
    // What a tail was made for: the base's rows and dictionary sizes.
    struct TailMark
    {
        qsizetype rows = -1;
        size_t units = 0;
        size_t functions = 0;
        friend bool operator==(const TailMark&, const TailMark&) = default;
    };

    // Rows in the last chunk when it is not full, else 0.
    [[nodiscard]] qsizetype lastChunkFill() const
    {
        if (!m_seams.empty())
            return (m_rowCount - m_seams.back().firstRow) % kChunkRows;
        return (m_rowCount + m_firstChunkShift) % kChunkRows;
    }

    Chunk& chunkForAppend();
    // A chunk whose arena is expected to take `arenaBytes`.
    [[nodiscard]] std::unique_ptr<Chunk> newChunk(size_t arenaBytes);
    // `bytes` of block memory; `owner` gets the block they are in.
    [[nodiscard]] char* blockBytes(size_t bytes, std::shared_ptr<TStoreBlock>& owner);
    // Room for `bytes` more at the end of the chunk's arena.
    [[nodiscard]] char* arenaRoom(Chunk& c, size_t bytes);
    char* growArena(Chunk& c, size_t bytes);
    // A full chunk gives its arena's spare room back to the block.
    static void finishChunk(Chunk& c);
    // Rows [from, from + count) of `source` after the rows of `to`, its
    // dictionary ids passed through the maps (empty maps: the same ids).
    void takeRows(Chunk& to, const Chunk& source, qsizetype from, qsizetype count,
                  const std::vector<uint16_t>& unitMap, const std::vector<uint8_t>& functionMap);
    void appendChangeRunsOf(const TLogStore& other, qint32 base);
    [[nodiscard]] uint16_t internUnit(QByteArrayView text, int slot);
    [[nodiscard]] uint8_t internFunction(QByteArrayView text);
    [[nodiscard]] QByteArrayView arenaField(const Chunk& c, qsizetype local, int field,
                                            std::array<char, 24>& scratch) const;

    std::vector<std::unique_ptr<Chunk>> m_chunks;
    // Where new chunks and arena room come from, and how big the next
    // block will be (blocks grow with the store).
    std::shared_ptr<TStoreBlock> m_block;
    size_t m_nextBlockBytes = 0;
    qsizetype m_rowCount = 0;
    std::vector<QByteArray> m_units;
    QHash<QByteArray, uint16_t> m_unitIds;
    std::vector<QByteArray> m_functions;
    QHash<QByteArray, uint8_t> m_functionIds;
    std::array<uint16_t, 3> m_lastUnit{};
    uint8_t m_lastFunction = 0;
    std::vector<ChangeRun> m_changeRuns;
    qsizetype m_changeCount = 0;
    // Rows the first chunk lacks (a tail's first chunk fills its base's last).
    qsizetype m_firstChunkShift = 0;
    std::vector<Seam> m_seams;
    TailMark m_tailOf;
};

} // namespace varnetta::log
