// The texts the logger sends and the values it measures: pure functions, no
// pty, so the tests can check every position without a line in between.

#include "sim/logger_simulator.h"

#include "calendar/civil_date.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace {

constexpr std::int64_t kMsPerDay = 86400000;

constexpr std::int64_t kEpochDays = civil::DaysFromCivil(2000, 1, 1);

// Writes `value` as exactly `width` decimal digits (the logger's fields have
// no room for more; values are clamped into range before they get here).
void AppendDigits(std::string &out, long value, int width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*ld", width, value);
  out.append(buf, static_cast<size_t>(width));
}

long Clamp(long v, long lo, long hi) { return std::min(std::max(v, lo), hi); }

// SplitMix64: a tiny, portable generator, so the curves are the same on
// every machine and library (std distributions are not).
std::uint64_t Mix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

double Unit(std::uint64_t seed, int channel, int which) {
  const std::uint64_t h = Mix(seed ^ Mix(static_cast<std::uint64_t>(channel) * 1000003u + which));
  return static_cast<double>(h >> 11) / 9007199254740992.0;  // [0, 1)
}

}  // namespace

std::int64_t TSimDateTime::ToMs() const {
  const std::int64_t days = civil::DaysFromCivil(Year, Month, Day) - kEpochDays;
  return days * kMsPerDay + ((Hour * 60LL + Minute) * 60LL + Second) * 1000LL;
}

TSimDateTime TSimDateTime::FromMs(std::int64_t ms) {
  std::int64_t days = ms / kMsPerDay;
  std::int64_t rest = ms % kMsPerDay;
  if (rest < 0) {
    rest += kMsPerDay;
    --days;
  }
  TSimDateTime t;
  const civil::TDate date = civil::CivilFromDays(days + kEpochDays);
  t.Year = static_cast<int>(date.Year);
  t.Month = date.Month;
  t.Day = date.Day;
  const std::int64_t secs = rest / 1000;
  t.Hour = static_cast<int>(secs / 3600);
  t.Minute = static_cast<int>(secs / 60 % 60);
  t.Second = static_cast<int>(secs % 60);
  return t;
}

bool TSimDateTime::IsValid() const {
  return Month >= 1 && Month <= 12 && Day >= 1 && Day <= civil::DaysInMonth(Year, Month) && Hour >= 0 && Hour <= 23 &&
         Minute >= 0 && Minute <= 59 && Second >= 0 && Second <= 59;
}

std::string TSimDateTime::Text() const {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", Year, Month, Day, Hour, Minute, Second);
  return buf;
}

TSimDateTime TSimDateTime::Parse(const std::string &text) {
  TSimDateTime t;
  char sep = 0;
  int used = 0;
  const int n = std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d%n", &t.Year, &t.Month, &t.Day, &sep, &t.Hour,
                            &t.Minute, &t.Second, &used);
  if (n != 7 || (sep != ' ' && sep != 'T') || used != static_cast<int>(text.size()) || !t.IsValid())
    throw ESimulator("Fecha y hora no válidas: '" + text + "' (se espera AAAA-MM-DD hh:mm:ss)");
  return t;
}

TSimDateTime TSimDateTime::Now() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return TSimDateTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

int RateStepMinutes(int rate_code) {
  switch (rate_code) {
    case 1: return 1;
    case 2: return 5;
    case 3: return 10;
    case 4: return 15;
    case 5: return 30;
    case 6: return 60;
    default: return 0;
  }
}

bool IsValidRateCode(int rate_code) { return RateStepMinutes(rate_code) != 0; }

long MemoryAddress(long memory_count) {
  // AH and AL travel as three decimal digits each; AH cannot pass 999.
  constexpr long kMaxAddress = 999L * 256 + 255;
  if (memory_count <= 0) return 31;
  if (memory_count > (kMaxAddress - 31) / 32) return kMaxAddress;
  return 31 + 32 * memory_count;
}

std::string MakeLiveFrame(const TLoggerState &s) {
  std::string f;
  f.reserve(kLiveFrameLength);
  // The clock goes minutes, hours, day, month, year, seconds: the logger's
  // own order, which the program undoes.
  AppendDigits(f, Clamp(s.Clock.Minute, 0, 99), 2);
  AppendDigits(f, Clamp(s.Clock.Hour, 0, 99), 2);
  AppendDigits(f, Clamp(s.Clock.Day, 0, 99), 2);
  AppendDigits(f, Clamp(s.Clock.Month, 0, 99), 2);
  AppendDigits(f, ((s.Clock.Year % 100) + 100) % 100, 2);
  AppendDigits(f, Clamp(s.Clock.Second, 0, 99), 2);
  AppendDigits(f, Clamp(s.Battery, 0, 999), 3);
  f += '0';  // a status digit the program reads and drops
  AppendDigits(f, Clamp(s.RateCode, 0, 9), 1);
  for (std::uint16_t raw : s.Readings) {
    const long r = Clamp(raw, 0, 4095);
    AppendDigits(f, r / 256, 2);
    AppendDigits(f, r % 256, 3);
  }
  const long address = MemoryAddress(s.MemoryCount);
  AppendDigits(f, address / 256, 3);
  AppendDigits(f, address % 256, 3);
  f += kFrameEnd;
  return f;
}

std::string MakeRecordLine(const TReadings &readings) {
  std::string line;
  line.reserve(kRecordLineDigits);
  for (std::uint16_t raw : readings) {
    const long r = Clamp(raw, 0, 4095);
    AppendDigits(line, r / 256, 3);
    AppendDigits(line, r % 256, 3);
  }
  return line;
}

std::string MakeDumpHeaderLine(const TSimDumpHeader &h) {
  std::string line;
  line.reserve(24);
  line += '*';
  AppendDigits(line, ((h.Start.Year % 100) + 100) % 100, 2);
  line += '-';
  AppendDigits(line, Clamp(h.Start.Month, 0, 99), 2);
  line += '-';
  AppendDigits(line, Clamp(h.Start.Day, 0, 99), 2);
  line += ' ';
  // Seconds, minutes, hours: the order the logger keeps them in.
  AppendDigits(line, Clamp(h.Start.Second, 0, 99), 2);
  line += ':';
  AppendDigits(line, Clamp(h.Start.Minute, 0, 99), 2);
  line += ':';
  AppendDigits(line, Clamp(h.Start.Hour, 0, 99), 2);
  line += " R";
  AppendDigits(line, Clamp(h.RateCode, 0, 9), 1);
  return line;
}

std::string MakeDump(const TSimDumpHeader &header, const std::vector<TReadings> &records,
                     const TReadings &in_progress) {
  std::string dump;
  dump.reserve(24 + (records.size() + 1) * (kRecordLineDigits + 2));
  dump += MakeDumpHeaderLine(header);
  dump += "\r\n";
  for (const TReadings &r : records) {
    dump += MakeRecordLine(r);
    dump += "\r\n";
  }
  dump += MakeRecordLine(in_progress);
  dump += "\r\n";
  return dump;
}

double ChannelTemperature(int channel, std::int64_t sim_ms, std::uint64_t seed) {
  constexpr double kTwoPi = 6.283185307179586;
  const int k = std::max(1, std::min(channel, kSimChannels));
  // Bases 1.7 °C apart keep neighbouring channels apart on a chart; three
  // waves (a day, a few hours, a quarter of an hour) keep every curve moving
  // at any speed of the clock, the last one small so that records taken every
  // 15 minutes still draw a smooth line. Amplitudes add up to at most 10.1 °C,
  // so the curves stay within 5..53 °C.
  const double base = 16.0 + (k - 1) * 1.7 + Unit(seed, k, 0);
  const double a1 = 2.0 + 4.0 * Unit(seed, k, 1);
  const double a2 = 1.0 + 2.5 * Unit(seed, k, 2);
  const double a3 = 0.2 + 0.4 * Unit(seed, k, 3);
  const double p1 = 86400.0;
  const double p2 = 3600.0 * (3.0 + 6.0 * Unit(seed, k, 4));
  const double p3 = 60.0 * (5.0 + 15.0 * Unit(seed, k, 5));
  const double f1 = kTwoPi * Unit(seed, k, 6), f2 = kTwoPi * Unit(seed, k, 7), f3 = kTwoPi * Unit(seed, k, 8);
  // Reduce the time per wave in integers first: sin() of a large argument
  // would lose the fractions that make the curve smooth.
  const double ms_day = static_cast<double>(((sim_ms % kMsPerDay) + kMsPerDay) % kMsPerDay);
  const double t = ms_day / 1000.0;
  const double days = std::floor(static_cast<double>(sim_ms) / kMsPerDay);
  const double t2 = std::fmod(days * std::fmod(86400.0, p2) + t, p2);
  const double t3 = std::fmod(days * std::fmod(86400.0, p3) + t, p3);
  return base + a1 * std::sin(kTwoPi * t / p1 + f1) + a2 * std::sin(kTwoPi * t2 / p2 + f2) +
         a3 * std::sin(kTwoPi * t3 / p3 + f3);
}

std::uint16_t ChannelReading(int channel, std::int64_t sim_ms, std::uint64_t seed) {
  const long r = std::lround(ChannelTemperature(channel, sim_ms, seed) * 10.0) + 500;
  return static_cast<std::uint16_t>(Clamp(r, 0, 4095));
}

TReadings ChannelReadings(std::int64_t sim_ms, std::uint64_t seed) {
  TReadings r{};
  for (int k = 1; k <= kSimChannels; ++k) r[static_cast<size_t>(k - 1)] = ChannelReading(k, sim_ms, seed);
  return r;
}

double ReadingToCelsius(std::uint16_t reading) { return (static_cast<double>(reading) - 500.0) / 10.0; }

void TSimConfig::Validate() const {
  auto fail = [](const std::string &what) { throw ESimulator("Configuración no válida: " + what); };
  if (FrameIntervalMs < 1) fail("el intervalo entre tramas debe ser de 1 ms o más");
  if (Capacity < 1) fail("la capacidad de memoria debe ser de 1 registro o más");
  if (StoredRecords < 0 || StoredRecords > Capacity)
    fail("los registros guardados deben estar entre 0 y la capacidad (" + std::to_string(Capacity) + ")");
  if (!IsValidRateCode(RateCode)) fail("el código de tasa debe ser de 1 a 6");
  if (!Start.IsValid() || Start.Year < 2000 || Start.Year > 2099)
    fail("la fecha de inicio debe ser válida y estar entre 2000 y 2099");
  if (!(TimeAcceleration > 0.0) || TimeAcceleration > 1e7) fail("la aceleración del tiempo debe ser mayor que 0");
  if (!(std::fabs(DriftSecondsPerDay) <= kMaxDriftSecondsPerDay))
    fail("la deriva del reloj debe estar entre -43200 y 43200 segundos por día");
  if (CorruptEvery < 0) fail("--corrupt-every no puede ser negativo");
  if (HangupAfter < -1) fail("--hangup-after no puede ser negativo");
  if (DownloadDelayMs < 0 || DownloadChunkBytes < 0 || DownloadChunkPauseMs < 0 || EndMarkPauseMs < 0)
    fail("los tiempos y tamaños de la descarga no pueden ser negativos");
  if (CommandTimeoutMs < 1 || AckTimeoutMs < 1 || StallTimeoutMs < 1) fail("los plazos deben ser positivos");
  if (BatteryStart < 0 || BatteryStart > 999 || BatteryMin < 0 || BatteryMin > BatteryStart)
    fail("la batería debe estar entre 0 y 999, la mínima no por encima de la inicial");
  if (BatteryDrainSeconds < 1) fail("la descarga de la batería debe ser de 1 s por unidad o más");
  // The recording's start must still have a two-digit year the logger can send.
  const std::int64_t step = RateStepMinutes(RateCode) * 60000LL;
  if (Start.ToMs() - StoredRecords * step < 0) fail("con tantos registros la grabación empezaría antes del año 2000");
}
