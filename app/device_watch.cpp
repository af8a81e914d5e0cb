#include "app/device_watch.h"

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

} // namespace qx375
