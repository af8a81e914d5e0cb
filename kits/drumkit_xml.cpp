#include "kits/drumkit_xml.h"

#include "kits/kit_file.h"

#include <QByteArray>
#include <QString>
#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>
#include <string>
#include <tuple>
#include <vector>

namespace qx375::kits {
namespace {

namespace fs = std::filesystem;

// What an element of drumkit.xml holds, as far as the kit is concerned.
enum class Place {
    elsewhere,
    kit,
    kit_name,
    drum_list,
    drum,
    component,
    drum_name,
    drum_note,
    drum_file,
    layer,
    layer_file,
    layer_max,
    layer_gain,
};

bool holds_text(Place place) {
    switch (place) {
    case Place::kit_name:
    case Place::drum_name:
    case Place::drum_note:
    case Place::drum_file:
    case Place::layer_file:
    case Place::layer_max:
    case Place::layer_gain:
        return true;
    default:
        return false;
    }
}

// Where an element named `name` lies within one that holds `parent`. Old
// kits name a drum's one sample in the drum itself; newer ones give it
// velocity layers, possibly within components.
Place place_in(Place parent, QStringView name) {
    switch (parent) {
    case Place::kit:
        if (name == u"name") {
            return Place::kit_name;
        }
        return name == u"instrumentList" ? Place::drum_list : Place::elsewhere;
    case Place::drum_list:
        return name == u"instrument" ? Place::drum : Place::elsewhere;
    case Place::drum:
        if (name == u"name") {
            return Place::drum_name;
        }
        if (name == u"midiOutNote") {
            return Place::drum_note;
        }
        if (name == u"filename") {
            return Place::drum_file;
        }
        if (name == u"instrumentComponent") {
            return Place::component;
        }
        return name == u"layer" ? Place::layer : Place::elsewhere;
    case Place::component:
        return name == u"layer" ? Place::layer : Place::elsewhere;
    case Place::layer:
        if (name == u"filename") {
            return Place::layer_file;
        }
        if (name == u"max") {
            return Place::layer_max;
        }
        return name == u"gain" ? Place::layer_gain : Place::elsewhere;
    default:
        return Place::elsewhere;
    }
}

struct Layer {
    std::string file;
    double max = 1.0;
    double gain = 1.0;
};

struct Drum {
    std::string name;
    int note = -1;
    std::string file;
    std::vector<Layer> layers;
};

double number_or(const QString& text, double otherwise) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && std::isfinite(value) ? value : otherwise;
}

int note_of(const QString& text) {
    bool ok = false;
    const int note = text.toInt(&ok);
    return ok && note >= 0 && note <= 127 ? note : -1;
}

void store(Place place, const QString& text, std::string& kit_name, std::vector<Drum>& drums) {
    switch (place) {
    case Place::kit_name:
        kit_name = text.toStdString();
        break;
    case Place::drum_name:
        drums.back().name = text.toStdString();
        break;
    case Place::drum_note:
        drums.back().note = note_of(text);
        break;
    case Place::drum_file:
        drums.back().file = text.toStdString();
        break;
    case Place::layer_file:
        drums.back().layers.back().file = text.toStdString();
        break;
    case Place::layer_max:
        drums.back().layers.back().max = number_or(text, 1.0);
        break;
    case Place::layer_gain:
        drums.back().layers.back().gain = number_or(text, 1.0);
        break;
    default:
        break;
    }
}

// The drum's samples, the loudest layer first: the highest velocity it
// answers to, then the highest gain. A sample named in the drum itself
// comes after its layers.
WrittenDrum written(Drum drum) {
    std::ranges::stable_sort(drum.layers, [](const Layer& a, const Layer& b) {
        return std::tie(a.max, a.gain) > std::tie(b.max, b.gain);
    });
    WrittenDrum out{std::move(drum.name), drum.note, {}};
    for (Layer& layer : drum.layers) {
        if (!layer.file.empty()) {
            out.samples.push_back(std::move(layer.file));
        }
    }
    if (!drum.file.empty()) {
        out.samples.push_back(std::move(drum.file));
    }
    return out;
}

KitReading refused(KitFault fault, std::string detail) {
    return {{}, fault, std::move(detail)};
}

} // namespace

KitReading read_drumkit_xml(const fs::path& file) {
    const KitText kit_file = read_kit_file(file);
    if (kit_file.fault != KitFault::none) {
        return refused(kit_file.fault, kit_file.detail);
    }
    QXmlStreamReader xml(QByteArray::fromRawData(kit_file.text.data(),
                                                 static_cast<qsizetype>(kit_file.text.size())));
    const auto line = [&xml] { return std::to_string(xml.lineNumber()); };
    std::vector<Place> open;
    std::string kit_name;
    std::vector<Drum> drums;
    QString text;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::DTD:
        case QXmlStreamReader::EntityReference:
            // Entities declared in a document type expand without bound or
            // read other files; no kit needs them.
            return refused(KitFault::bad_xml, line());
        case QXmlStreamReader::StartElement: {
            if (open.empty()) {
                if (xml.name() != u"drumkit_info") {
                    return refused(KitFault::not_a_kit, file.filename().string());
                }
                open.push_back(Place::kit);
                break;
            }
            const Place place = place_in(open.back(), xml.name());
            if (place == Place::drum) {
                if (drums.size() == kMaxKitDrums) {
                    return refused(KitFault::too_many_instruments, line());
                }
                drums.emplace_back();
            } else if (place == Place::layer) {
                drums.back().layers.emplace_back();
            }
            open.push_back(place);
            text.clear();
            break;
        }
        case QXmlStreamReader::Characters:
            if (!open.empty() && holds_text(open.back())) {
                text += xml.text();
            }
            break;
        case QXmlStreamReader::EndElement:
            store(open.back(), text.trimmed(), kit_name, drums);
            open.pop_back();
            text.clear();
            break;
        default:
            break;
        }
    }
    if (xml.hasError()) {
        return refused(KitFault::bad_xml, line());
    }
    if (kit_name.empty()) {
        kit_name = file.parent_path().filename().string();
    }
    std::vector<WrittenDrum> written_drums;
    written_drums.reserve(drums.size());
    for (Drum& drum : drums) {
        written_drums.push_back(written(std::move(drum)));
    }
    return assemble_kit(std::move(kit_name), file.parent_path(), written_drums);
}

} // namespace qx375::kits
