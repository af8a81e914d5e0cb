#include "app/device_watch.h"

#include <cstdio>

namespace qx375 {

DeviceWatch::DeviceWatch(AudioOutput& output, Notifier& notifier, const Texts& texts)
    : output_(output), notifier_(notifier), texts_(texts) {
    timer_.setInterval(kInterval);
    QObject::connect(&timer_, &QTimer::timeout, [this] { check(); });
}

void DeviceWatch::before_start() {
    output_.check_device();
    if (output_.card_fault() != CardFault::none) {
        output_.reopen();
    }
}

void DeviceWatch::follow(bool playing) {
    if (!playing) {
        timer_.stop();
        return;
    }
    timer_.start();
    report();
}

void DeviceWatch::check() {
    output_.check_device();
    report();
}

void DeviceWatch::report() {
    const CardFault fault = output_.card_fault();
    if (fault == CardFault::none) {
        reported_ = false;
        return;
    }
    if (reported_) {
        return;
    }
    // Marked first: the polls go on while the message box is open.
    reported_ = true;
    notifier_.show_message(
        texts_[fault == CardFault::lost ? Msg::device_lost : Msg::device_not_opened]);
}

std::string DeviceWatch::describe() const {
    const OutputStatus status = output_.status();
    const bool silent = output_.backend() == AudioBackendKind::null_clock ||
                        output_.backend() == AudioBackendKind::manual;
    std::string text = texts_.with(Msg::output_in_use,
                                   silent ? texts_[Msg::output_silent] : output_.backend_name());
    const auto ms = [&](std::uint32_t frames) {
        return status.rate == 0 ? 0.0 : 1000.0 * frames / status.rate;
    };
    char line[160];
    std::snprintf(line, sizeof line, "\n%u Hz, %u frames (%.1f ms), latency %.1f ms", status.rate,
                  status.period, ms(status.period), ms(status.latency));
    text += line;
    if (output_.backend() == AudioBackendKind::jack) {
        std::snprintf(line, sizeof line, "\nxruns: %llu, DSP load: %.1f %%",
                      static_cast<unsigned long long>(status.xruns), status.load);
        text += line;
    }
    text += "\n";
    text += texts_[status.midi ? Msg::output_midi : Msg::output_no_midi];
    return text;
}

} // namespace qx375
