// The virtual meter: a plain object that runs on the time its caller gives
// it, so tests and benchmarks drive it faster than real time and the bridge
// library drives it from the monotonic clock.
//
// It sends a reading frame every half second with slowly drifting mains
// values, acts on the key codes it receives as command frames, keeps a memory
// of readings and hands it out record by record on an export, each record
// only after the previous one was acknowledged.
#pragma once

#include "SerialLine.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace varnetta::sim {

using namespace std::chrono_literals;

using Body = std::array<uint8_t, 21>;
using Status = std::array<uint8_t, 5>;

// A frame the meter started to send at `at`.
struct SentFrame
{
    Nanos at;
    std::vector<uint8_t> bytes;
};

struct MemoryRecord
{
    uint8_t code = 0;
    Body body{};
    Status status{};
};

enum class Extreme : uint8_t
{
    Current,
    Max,
    Min
};

// Status bits as the meter sets them: byte index and bit.
struct StatusBit
{
    uint8_t byte;
    uint8_t mask;
};
inline constexpr StatusBit kBitHold{0, 0x01};
inline constexpr StatusBit kBitLowBattery{0, 0x04};
inline constexpr StatusBit kBitHazard{0, 0x08};
inline constexpr StatusBit kBitAutoPower{1, 0x01};
inline constexpr StatusBit kBitRotationRight{1, 0x02};
inline constexpr StatusBit kBitMemClear{2, 0x01};
inline constexpr StatusBit kBitMemFull{2, 0x02};
inline constexpr StatusBit kBitMem{2, 0x04};
inline constexpr StatusBit kBitMin{4, 0x01};
inline constexpr StatusBit kBitMax{4, 0x02};
inline constexpr StatusBit kBitHoursMinutes{4, 0x04};

[[nodiscard]] inline bool HasBit(const Status& s, StatusBit bit)
{
    return (s[bit.byte] & bit.mask) != 0;
}

class MeterSimulator
{
public:
    static constexpr Nanos kFramePeriod = 500ms;
    static constexpr Nanos kAutoSavePeriod = 1s;
    // How long CLR and MEM stay lit after clearing or storing.
    static constexpr Nanos kNoticeTime = 1500ms;
    // An export nobody acknowledges for this long is given up.
    static constexpr Nanos kExportAckTimeout = 10s;
    static constexpr size_t kMemoryCapacity = 99;
    static constexpr size_t kInitialRecords = 36;
    static constexpr int kMaxHarmonicOrder = 50;
    static constexpr double kHazardVolts = 30.0;
    // Frames not yet taken beyond this are dropped, oldest first: a meter
    // talks whether or not anyone listens.
    static constexpr size_t kMaxQueuedFrames = 64;

    // The first reading frame goes out at `start`.
    explicit MeterSimulator(Nanos start = Nanos{0}, uint32_t seed = 1);

    // Runs the meter up to `now` (earlier times are ignored).
    void advanceTo(Nanos now);
    // Bytes from the host reaching the meter at `now`: command frames,
    // possibly split or with junk between them. Runs the meter up to `now`.
    void receive(Nanos now, const uint8_t* data, size_t len);
    void receive(Nanos now, const std::vector<uint8_t>& bytes) { receive(now, bytes.data(), bytes.size()); }

    // The frames sent since the last call, in time order.
    [[nodiscard]] std::vector<SentFrame> takeFrames();
    // When the meter next does something on its own.
    [[nodiscard]] Nanos nextEventAt() const;
    [[nodiscard]] Nanos now() const { return m_now; }

    // What the meter is showing, for tools and tests.
    [[nodiscard]] uint8_t functionCode() const { return m_code; }
    [[nodiscard]] int harmonicOrder() const { return m_order; }
    [[nodiscard]] bool holding() const { return m_hold; }
    [[nodiscard]] Extreme extreme() const { return m_extreme; }
    [[nodiscard]] bool autoSaving() const { return m_autoSave; }
    [[nodiscard]] bool autoPowerOff() const { return m_autoPowerOff; }
    [[nodiscard]] bool exporting() const { return m_exporting; }
    [[nodiscard]] const std::vector<MemoryRecord>& memory() const { return m_memory; }
    [[nodiscard]] double volts() const { return m_volts; }
    [[nodiscard]] double energyKWh() const { return m_energyKWh; }
    [[nodiscard]] Status status() const;
    [[nodiscard]] Body body();

    // Command frames taken and those dropped for a bad header or checksum.
    [[nodiscard]] uint64_t commandsAccepted() const { return m_commandsAccepted; }
    [[nodiscard]] uint64_t commandBytesDropped() const { return m_commandBytesDropped; }

    // Frame bytes, checksum and CR LF included.
    [[nodiscard]] static std::vector<uint8_t> ReadingFrame(uint8_t type, uint8_t code, const Body& body,
                                                           const Status& status);
    [[nodiscard]] static std::vector<uint8_t> ExportEndFrame();

private:
    struct Fields
    {
        double v[3];
        bool present[3];
    };

    void tick(Nanos at);
    void drift(double seconds);
    void command(Nanos at, uint8_t code);
    void parseCommands(Nanos at);
    void sendFrame(Nanos at, std::vector<uint8_t> frame);
    void store();
    void sendNextRecord(Nanos at);
    void selectFunction(uint8_t code);
    void releaseModes();
    [[nodiscard]] Fields measuredFields() const;
    [[nodiscard]] Body formatBody(const Fields& f) const;
    [[nodiscard]] double harmonicPercent(int order, double thdPercent) const;
    [[nodiscard]] double gauss();

    Nanos m_now;
    Nanos m_started;
    Nanos m_nextFrame;
    Nanos m_nextAutoSave{0};
    Nanos m_clearShownUntil{0};
    Nanos m_memShownUntil{0};
    Nanos m_lastExportSend{0};
    uint64_t m_rng;

    // Drifting quantities.
    double m_volts = 230.0;
    double m_amps = 4.2;
    double m_pf = 0.93;
    double m_hertz = 50.0;
    double m_thdV = 2.8; // percent of the fundamental
    double m_thdI = 9.0;
    double m_phaseOffset[2] = {0.0, 0.0};
    double m_energyKWh = 0.0;

    uint8_t m_code = 0x30;
    int m_order = 1;
    bool m_hold = false;
    Body m_heldBody{};
    Extreme m_extreme = Extreme::Current;
    Fields m_extremeFields{};
    bool m_autoSave = false;
    bool m_autoPowerOff = false;

    std::vector<MemoryRecord> m_memory;
    bool m_exporting = false;
    size_t m_exportIndex = 0;

    std::vector<uint8_t> m_in;
    std::vector<SentFrame> m_out;
    uint64_t m_commandsAccepted = 0;
    uint64_t m_commandBytesDropped = 0;
};

} // namespace varnetta::sim
