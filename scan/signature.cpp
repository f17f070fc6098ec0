#include "scan/signature.h"

namespace kelvara {
namespace {

// Bytes as the processor loads them: the patterns compare whole words at a time.
template <typename Word>
Word Load(const std::uint8_t* bytes) {
    Word word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

}  // namespace

SignatureTest::SignatureTest(const KindSet& chosen) : chosen_(chosen) {
    const auto table = formats::Table();
    for (unsigned first = 0; first < 256; ++first) {
        byFirst_[first].begin = static_cast<std::uint16_t>(patterns_.size());
        for (std::size_t f = 0; f < table.size(); ++f) {
            bool wanted = false;
            for (const formats::Variant& variant : table[f]->variants)
                wanted = wanted || chosen.Has(*formats::KindOf(*table[f], variant.extension));
            if (!wanted) continue;
            for (const formats::Signature& signature : table[f]->signatures) {
                if ((first & signature.mask[0]) != signature.value[0]) continue;
                patterns_.push_back({Load<std::uint64_t>(signature.mask.data()), Load<std::uint64_t>(signature.value.data()),
                                     Load<std::uint16_t>(signature.mask.data() + 8),
                                     Load<std::uint16_t>(signature.value.data() + 8), static_cast<std::uint8_t>(f)});
            }
        }
        byFirst_[first].end = static_cast<std::uint16_t>(patterns_.size());
    }
}

std::optional<FileKind> SignatureTest::Name(const std::uint8_t* first, const HeadOf& head) const {
    const auto table = formats::Table();
    const Candidates& candidates = byFirst_[first[0]];
    std::optional<std::span<const std::uint8_t>> held;
    int tried = -1;
    for (std::uint16_t i = candidates.begin; i < candidates.end; ++i) {
        const Pattern& pattern = patterns_[i];
        if (pattern.format == tried || !pattern.Matches(first)) continue;
        tried = pattern.format;
        const formats::Format& format = *table[pattern.format];
        formats::Extension extension;
        if (format.needsHead) {
            if (!held) held = head();
            extension = format.Identify(*held);
        } else {
            extension = format.Identify(std::span(first, kFirstBytes));
        }
        if (!extension) continue;
        const auto kind = formats::KindOf(format, *extension);
        if (kind && chosen_.Has(*kind)) return kind;
    }
    return std::nullopt;
}

}  // namespace kelvara
