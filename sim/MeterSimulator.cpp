#include "MeterSimulator.h"

#include "protocol/MeterCommands.h"
#include "protocol/MeterFrame.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace varnetta::sim {

namespace proto = varnetta::protocol;

namespace {

constexpr double kPi = 3.14159265358979323846;

// Select walks the power functions, Harm the harmonic ones.
constexpr std::array<uint8_t, 9> kPowerCodes{0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38};
constexpr std::array<uint8_t, 6> kHarmonicCodes{0x39, 0x61, 0x62, 0x63, 0x64, 0x65};
constexpr uint8_t kCodeEnergy = 0x37;
constexpr uint8_t kCodePhaseSequence = 0x38;
constexpr uint8_t kCodeVoltHarmonic = 0x62;
constexpr uint8_t kCodeAmpHarmonic = 0x65;

// Bytes that follow the length byte up to the checksum.
constexpr uint8_t kReadingLength = 30;
constexpr uint8_t kEndLength = 4;

bool isHarmonic(uint8_t code)
{
    return std::find(kHarmonicCodes.begin(), kHarmonicCodes.end(), code) != kHarmonicCodes.end();
}

template <size_t N> uint8_t nextIn(const std::array<uint8_t, N>& codes, uint8_t code)
{
    const auto it = std::find(codes.begin(), codes.end(), code);
    if (it == codes.end() || it + 1 == codes.end())
        return codes.front();
    return *(it + 1);
}

void setBit(Status& s, StatusBit bit, bool on)
{
    if (on)
        s[bit.byte] = uint8_t(s[bit.byte] | bit.mask);
    else
        s[bit.byte] = uint8_t(s[bit.byte] & ~bit.mask);
}

// A reading as the display's four digits show it: as many decimals as fit,
// right-aligned in six characters.
std::string displayNumber(double v)
{
    const double a = std::fabs(v);
    int decimals = 0;
    if (a < 9.9995)
        decimals = 3;
    else if (a < 99.995)
        decimals = 2;
    else if (a < 999.95)
        decimals = 1;
    else if (a >= 9999.5)
        return "   OL ";
    char buf[16];
    std::snprintf(buf, sizeof buf, "%6.*f", decimals, v);
    return std::string(buf).substr(0, 6);
}

// Elapsed time in minutes and seconds for the first hour, then hours and
// minutes, with the point between them.
std::string displayElapsed(Nanos elapsed)
{
    const auto s = std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
    char buf[16];
    if (s < 3600)
        std::snprintf(buf, sizeof buf, "%3lld.%02lld", static_cast<long long>(s / 60),
                      static_cast<long long>(s % 60));
    else
        std::snprintf(buf, sizeof buf, "%3lld.%02lld",
                      static_cast<long long>(std::min<long long>(s / 3600, 999)),
                      static_cast<long long>((s / 60) % 60));
    return std::string(buf).substr(0, 6);
}

// Shape of the harmonic spectrum: odd orders dominate and every level falls
// with its order; scaled so the orders 2 and up add up to the THD.
const std::array<double, MeterSimulator::kMaxHarmonicOrder + 1>& harmonicShape()
{
    static const auto shape = [] {
        std::array<double, MeterSimulator::kMaxHarmonicOrder + 1> w{};
        double sum = 0;
        for (int n = 2; n <= MeterSimulator::kMaxHarmonicOrder; ++n) {
            w[size_t(n)] = (n % 2 ? 1.0 : 0.2) / std::pow(double(n), 1.5);
            sum += w[size_t(n)] * w[size_t(n)];
        }
        for (double& x : w)
            x /= std::sqrt(sum);
        return w;
    }();
    return shape;
}

} // namespace

MeterSimulator::MeterSimulator(Nanos start, uint32_t seed)
    : m_now(start), m_started(start), m_nextFrame(start), m_rng(0x9E3779B97F4A7C15ull ^ seed)
{
    // A memory that already holds readings of every function, so an export
    // can be tried at once.
    const uint8_t code = m_code;
    for (size_t i = 0; i < kInitialRecords; ++i) {
        drift(30.0);
        m_code = i % 2 ? kHarmonicCodes[(i / 2) % kHarmonicCodes.size()]
                       : kPowerCodes[(i / 2) % kPowerCodes.size()];
        m_order = 1 + int(i % 7);
        m_memory.push_back(MemoryRecord{m_code, formatBody(measuredFields()), status()});
    }
    m_code = code;
    m_order = 1;
    m_energyKWh = 0;
}

double MeterSimulator::gauss()
{
    // splitmix64, three uniforms summed: near enough to a normal for drift.
    double sum = 0;
    for (int i = 0; i < 3; ++i) {
        uint64_t z = (m_rng += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        sum += double(z >> 11) / double(1ull << 53) * 2.0 - 1.0;
    }
    return sum;
}

void MeterSimulator::drift(double seconds)
{
    // Mean-reverting walks with a time constant of about 20 s.
    constexpr double theta = 0.05;
    const double k = theta * seconds;
    const double noise = std::sqrt(2.0 * theta * seconds);
    auto walk = [&](double& x, double mean, double sd, double lo, double hi) {
        x += (mean - x) * std::min(k, 1.0) + sd * noise * gauss();
        x = std::clamp(x, lo, hi);
    };
    walk(m_volts, 230.0, 1.5, 200.0, 260.0);
    walk(m_amps, 4.2, 0.8, 0.2, 15.0);
    walk(m_pf, 0.93, 0.03, 0.5, 0.999);
    walk(m_hertz, 50.0, 0.02, 49.5, 50.5);
    walk(m_thdV, 2.8, 0.4, 0.5, 8.0);
    walk(m_thdI, 9.0, 1.5, 1.0, 30.0);
    walk(m_phaseOffset[0], 0.0, 1.0, -8.0, 8.0);
    walk(m_phaseOffset[1], 0.0, 1.0, -8.0, 8.0);
    m_energyKWh += m_volts * m_amps * m_pf / 1000.0 * seconds / 3600.0;
}

double MeterSimulator::harmonicPercent(int order, double thdPercent) const
{
    if (order <= 1)
        return 100.0;
    return thdPercent * harmonicShape()[size_t(std::min(order, kMaxHarmonicOrder))];
}

MeterSimulator::Fields MeterSimulator::measuredFields() const
{
    const double kw = m_volts * m_amps * m_pf / 1000.0;
    const double kva = m_volts * m_amps / 1000.0;
    const double sinPhi = std::sqrt(std::max(0.0, 1.0 - m_pf * m_pf));
    const auto rel = [](double thd) { return thd / std::sqrt(1.0 + thd * thd / 10000.0); };
    const auto fundamental = [](double rms, double thd) {
        return rms / std::sqrt(1.0 + thd * thd / 10000.0);
    };
    switch (m_code) {
    case 0x30:
        return {{kw, m_volts, m_amps}, {true, true, true}};
    case 0x31:
        return {{kva, m_volts, m_amps}, {true, true, true}};
    case 0x32:
        return {{kva * sinPhi, m_volts, m_amps}, {true, true, true}};
    case 0x33:
        return {{m_pf, m_volts, m_amps}, {true, true, true}};
    case 0x34:
        return {{sinPhi, m_volts, m_amps}, {true, true, true}};
    case 0x35:
        return {{std::acos(m_pf) * 180.0 / kPi, m_volts, m_amps}, {true, true, true}};
    case 0x36:
        return {{m_hertz, m_volts, m_amps}, {true, true, true}};
    case kCodeEnergy:
        return {{m_energyKWh, kw, 0.0}, {true, true, true}};
    case kCodePhaseSequence:
        return {{m_volts, m_volts + m_phaseOffset[0], m_volts + m_phaseOffset[1]}, {true, true, true}};
    case 0x39:
        return {{m_volts, 0, m_thdV}, {true, false, true}};
    case 0x61:
        return {{m_volts, 0, rel(m_thdV)}, {true, false, true}};
    case kCodeVoltHarmonic: {
        const double pct = harmonicPercent(m_order, m_thdV);
        return {{fundamental(m_volts, m_thdV) * pct / 100.0, 0, pct}, {true, false, true}};
    }
    case 0x63:
        return {{m_amps, 0, m_thdI}, {true, false, true}};
    case 0x64:
        return {{m_amps, 0, rel(m_thdI)}, {true, false, true}};
    case kCodeAmpHarmonic: {
        const double pct = harmonicPercent(m_order, m_thdI);
        return {{fundamental(m_amps, m_thdI) * pct / 100.0, 0, pct}, {true, false, true}};
    }
    default:
        return {{0, 0, 0}, {false, false, false}};
    }
}

Body MeterSimulator::formatBody(const Fields& f) const
{
    char small[8];
    std::snprintf(small, sizeof small, "%3d",
                  isHarmonic(m_code) ? m_order : int(std::min<size_t>(m_memory.size(), 999)));
    std::string text(small, 3);
    for (int i = 0; i < 3; ++i) {
        if (m_code == kCodeEnergy && i == 2)
            text += displayElapsed(m_now - m_started);
        else
            text += f.present[i] ? displayNumber(f.v[i]) : std::string(6, ' ');
    }
    Body body{};
    std::copy_n(text.begin(), body.size(), body.begin());
    return body;
}

Body MeterSimulator::body()
{
    if (m_hold)
        return m_heldBody;
    Fields f = measuredFields();
    if (m_extreme != Extreme::Current) {
        for (int i = 0; i < 3; ++i) {
            if (m_code == kCodeEnergy && i == 2)
                continue;
            auto& e = m_extremeFields;
            if (!e.present[i])
                e.v[i] = f.v[i];
            else
                e.v[i] = m_extreme == Extreme::Max ? std::max(e.v[i], f.v[i]) : std::min(e.v[i], f.v[i]);
            e.present[i] = f.present[i];
            f.v[i] = e.v[i];
        }
    }
    return formatBody(f);
}

Status MeterSimulator::status() const
{
    Status s{};
    setBit(s, kBitHold, m_hold);
    setBit(s, kBitHazard, m_volts > kHazardVolts);
    setBit(s, kBitAutoPower, m_autoPowerOff);
    setBit(s, kBitRotationRight, m_code == kCodePhaseSequence);
    setBit(s, kBitMemClear, m_now < m_clearShownUntil);
    setBit(s, kBitMemFull, m_memory.size() >= kMemoryCapacity);
    setBit(s, kBitMem, m_autoSave || m_now < m_memShownUntil);
    setBit(s, kBitMax, m_extreme == Extreme::Max);
    setBit(s, kBitMin, m_extreme == Extreme::Min);
    setBit(s, kBitHoursMinutes, m_code == kCodeEnergy && m_now - m_started >= std::chrono::hours(1));
    return s;
}

namespace {

// The checksum of every byte so far, high byte first, then CR LF.
void closeFrame(std::vector<uint8_t>& f)
{
    uint32_t sum = 0;
    for (uint8_t b : f)
        sum += b;
    f.push_back(uint8_t(sum / 256));
    f.push_back(uint8_t(sum % 256));
    f.push_back(0x0D);
    f.push_back(0x0A);
}

} // namespace

std::vector<uint8_t> MeterSimulator::ReadingFrame(uint8_t type, uint8_t code, const Body& body,
                                                  const Status& status)
{
    std::vector<uint8_t> f{proto::kHeader0, proto::kHeader1, kReadingLength, type, code};
    f.insert(f.end(), body.begin(), body.end());
    f.insert(f.end(), status.begin(), status.end());
    closeFrame(f);
    return f;
}

std::vector<uint8_t> MeterSimulator::ExportEndFrame()
{
    std::vector<uint8_t> f{proto::kHeader0, proto::kHeader1, kEndLength, proto::kFrameTypeMemory,
                           proto::kExportEndCode};
    closeFrame(f);
    return f;
}

void MeterSimulator::sendFrame(Nanos at, std::vector<uint8_t> frame)
{
    if (m_out.size() >= kMaxQueuedFrames)
        m_out.erase(m_out.begin());
    m_out.push_back(SentFrame{at, std::move(frame)});
}

std::vector<SentFrame> MeterSimulator::takeFrames()
{
    std::vector<SentFrame> out;
    out.swap(m_out);
    return out;
}

Nanos MeterSimulator::nextEventAt() const
{
    Nanos next = m_nextFrame;
    if (m_autoSave)
        next = std::min(next, m_nextAutoSave);
    return next;
}

void MeterSimulator::advanceTo(Nanos now)
{
    while (true) {
        const Nanos next = nextEventAt();
        if (next > now)
            break;
        tick(next);
    }
    if (now > m_now)
        m_now = now;
    if (m_exporting && m_now - m_lastExportSend >= kExportAckTimeout)
        m_exporting = false;
}

void MeterSimulator::tick(Nanos at)
{
    m_now = std::max(m_now, at);
    if (m_autoSave && at >= m_nextAutoSave) {
        store();
        m_nextAutoSave = at + kAutoSavePeriod;
    }
    if (at >= m_nextFrame) {
        drift(std::chrono::duration<double>(kFramePeriod).count());
        m_nextFrame = at + kFramePeriod;
        // The meter is busy with its memory while an export runs.
        if (m_exporting && at - m_lastExportSend >= kExportAckTimeout)
            m_exporting = false;
        if (!m_exporting)
            sendFrame(at, ReadingFrame(proto::kFrameTypeReading, m_code, body(), status()));
    }
}

void MeterSimulator::receive(Nanos now, const uint8_t* data, size_t len)
{
    advanceTo(now);
    m_in.insert(m_in.end(), data, data + len);
    parseCommands(m_now);
}

void MeterSimulator::parseCommands(Nanos at)
{
    size_t pos = 0;
    while (m_in.size() - pos >= size_t(proto::kCommandFrameSize)) {
        const uint8_t* f = m_in.data() + pos;
        const uint32_t sum = uint32_t(f[0]) + f[1] + f[2] + f[3] + f[4];
        if (f[0] == proto::kHeader0 && f[1] == proto::kHeader1 && f[2] == 0x04 &&
            sum == uint32_t(f[5]) * 256 + f[6]) {
            ++m_commandsAccepted;
            pos += size_t(proto::kCommandFrameSize);
            command(at, f[3]);
        } else {
            // Resynchronise one byte at a time on the next header.
            ++m_commandBytesDropped;
            ++pos;
        }
    }
    m_in.erase(m_in.begin(), m_in.begin() + std::ptrdiff_t(pos));
}

void MeterSimulator::releaseModes()
{
    m_hold = false;
    m_extreme = Extreme::Current;
    m_extremeFields = {};
}

void MeterSimulator::selectFunction(uint8_t code)
{
    releaseModes();
    m_code = code;
}

void MeterSimulator::store()
{
    if (m_memory.size() >= kMemoryCapacity) {
        m_autoSave = false;
        return;
    }
    m_memShownUntil = m_now + kNoticeTime;
    m_memory.push_back(MemoryRecord{m_code, body(), status()});
    if (m_memory.size() >= kMemoryCapacity)
        m_autoSave = false;
}

void MeterSimulator::sendNextRecord(Nanos at)
{
    m_lastExportSend = at;
    if (m_exportIndex < m_memory.size()) {
        const MemoryRecord& r = m_memory[m_exportIndex];
        sendFrame(at, ReadingFrame(proto::kFrameTypeMemory, r.code, r.body, r.status));
    } else {
        m_exporting = false;
        sendFrame(at, ExportEndFrame());
    }
}

void MeterSimulator::command(Nanos at, uint8_t code)
{
    switch (code) {
    case proto::kCmdSelect:
        selectFunction(nextIn(kPowerCodes, m_code));
        break;
    case proto::kCmdHarm:
        selectFunction(nextIn(kHarmonicCodes, m_code));
        break;
    case proto::kCmdUp:
        if (isHarmonic(m_code)) {
            releaseModes();
            m_order = m_order >= kMaxHarmonicOrder ? 1 : m_order + 1;
        }
        break;
    case proto::kCmdDown:
        if (isHarmonic(m_code)) {
            releaseModes();
            m_order = m_order <= 1 ? kMaxHarmonicOrder : m_order - 1;
        }
        break;
    case proto::kCmdHold:
        if (!m_hold)
            m_heldBody = body();
        m_hold = !m_hold;
        break;
    case proto::kCmdMaxMinCur:
        m_extreme = m_extreme == Extreme::Current ? Extreme::Max
                    : m_extreme == Extreme::Max   ? Extreme::Min
                                                  : Extreme::Current;
        m_extremeFields = {};
        break;
    case proto::kCmdExitStatus:
        releaseModes();
        break;
    case proto::kCmdSaveData:
        // The key's first function stops a running auto save.
        if (m_autoSave)
            m_autoSave = false;
        else
            store();
        break;
    case proto::kCmdLoadMem:
        m_autoSave = false;
        break;
    case proto::kCmdAutoSaveData:
        if (!m_autoSave && m_memory.size() < kMemoryCapacity) {
            m_autoSave = true;
            m_nextAutoSave = at;
            advanceTo(at);
        }
        break;
    case proto::kCmdClearMem:
        m_memory.clear();
        m_autoSave = false;
        m_clearShownUntil = at + kNoticeTime;
        break;
    case proto::kCmdAutoPowerOff:
        m_autoPowerOff = false;
        break;
    case proto::kCmdAutoPower10:
    case proto::kCmdAutoPower20:
    case proto::kCmdAutoPower30:
        m_autoPowerOff = true;
        break;
    case proto::kCmdExportData:
        if (!m_exporting) {
            m_autoSave = false;
            m_exporting = true;
            m_exportIndex = 0;
            sendNextRecord(at);
        }
        break;
    case proto::kCmdExportAck:
        if (m_exporting) {
            ++m_exportIndex;
            sendNextRecord(at);
        }
        break;
    default:
        // Menu, Sum, back light, frequency mode and the rest: accepted,
        // nothing the program can see changes.
        break;
    }
}

} // namespace varnetta::sim
