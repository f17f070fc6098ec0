// DecodeJpeg with libjpeg(-turbo): a source over the ByteSource, warnings taken as faults.
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

#include "photos/jpeg_decode.h"

namespace kelvara {
namespace {

struct Source {
    jpeg_source_mgr manager{};
    ByteSource* bytes = nullptr;
    std::uint64_t next = 0;  // where the next piece is asked for
    bool ended = false;      // the bytes ran out: an end of image was made up
    std::uint64_t Consumed() const { return next - manager.bytes_in_buffer; }
};

// What the decode has seen, kept where a fault's jump back leaves it intact.
struct Rows {
    std::vector<double> steps;  // steps[y]: between row y - 1 and row y
    std::size_t joinRow = SIZE_MAX;
};

struct Faults {
    jpeg_error_mgr manager{};
    Rows* rows = nullptr;
    std::jmp_buf jump{};
    Source* source = nullptr;
    std::optional<std::uint64_t> first;
};

constexpr JOCTET kMadeUpEnd[2] = {0xFF, 0xD9};

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr info) {
    auto* source = reinterpret_cast<Source*>(info->src);
    const std::span<const std::uint8_t> piece = source->bytes->From(source->next);
    if (piece.empty()) {
        source->ended = true;
        source->manager.next_input_byte = kMadeUpEnd;
        source->manager.bytes_in_buffer = sizeof kMadeUpEnd;
        return TRUE;
    }
    source->next += piece.size();
    source->manager.next_input_byte = piece.data();
    source->manager.bytes_in_buffer = piece.size();
    return TRUE;
}

void SkipInput(j_decompress_ptr info, long count) {
    auto* source = reinterpret_cast<Source*>(info->src);
    if (count <= 0) return;
    const auto skip = static_cast<std::size_t>(count);
    if (skip <= source->manager.bytes_in_buffer) {
        source->manager.next_input_byte += skip;
        source->manager.bytes_in_buffer -= skip;
        return;
    }
    if (!source->ended) source->next += skip - source->manager.bytes_in_buffer;
    source->manager.bytes_in_buffer = 0;
}

void Fail(j_common_ptr info) {
    auto* faults = reinterpret_cast<Faults*>(info->err);
    if (!faults->first) faults->first = faults->source->Consumed();
    std::longjmp(faults->jump, 1);
}

void Message(j_common_ptr info, int level) {
    auto* faults = reinterpret_cast<Faults*>(info->err);
    if (level < 0 && !faults->first) faults->first = faults->source->Consumed();
}

// Mean difference of two rows.
double Step(const std::vector<JSAMPLE>& a, const std::vector<JSAMPLE>& b) {
    if (a.empty()) return 0;
    long sum = 0;
    for (std::size_t x = 0; x < a.size(); ++x) sum += a[x] > b[x] ? a[x] - b[x] : b[x] - a[x];
    return static_cast<double>(sum) / static_cast<double>(a.size());
}

// Whether the rows from `joinRow` on go on from those before. A wrong piece decodes to blocks of
// another picture or of noise: most rows after the join step many times further than the
// picture's rows usually do. One large step is an edge of the picture itself.
bool Alike(const std::vector<double>& steps, std::size_t joinRow) {
    if (joinRow == 0 || joinRow >= steps.size()) return true;
    const auto middle = [](std::vector<double> values) {
        std::nth_element(values.begin(), values.begin() + static_cast<long>(values.size() / 2), values.end());
        return values[values.size() / 2];
    };
    const double usual = middle({steps.begin() + static_cast<long>(joinRow - std::min<std::size_t>(joinRow, 32)),
                                 steps.begin() + static_cast<long>(joinRow)});
    const double after = middle({steps.begin() + static_cast<long>(joinRow), steps.end()});
    return after <= std::max(3 * usual + 4, 10.0);
}

}  // namespace

JpegDecode DecodeJpeg(ByteSource& bytes, std::optional<std::uint64_t> join, bool toTheEnd) {
    JpegDecode result;
    jpeg_decompress_struct info{};
    Source source;
    Faults faults;
    source.bytes = &bytes;
    faults.source = &source;
    info.err = jpeg_std_error(&faults.manager);
    faults.manager.error_exit = Fail;
    faults.manager.emit_message = Message;
    std::vector<JSAMPLE> row, previous;
    Rows seen;
    faults.rows = &seen;
    if (setjmp(faults.jump)) {
        jpeg_destroy_decompress(&info);
        result.clean = false;
        result.fault = faults.first;
        result.alike = faults.rows->joinRow == SIZE_MAX || Alike(faults.rows->steps, faults.rows->joinRow);
        return result;
    }
    jpeg_create_decompress(&info);
    source.manager.init_source = InitSource;
    source.manager.fill_input_buffer = FillInput;
    source.manager.skip_input_data = SkipInput;
    source.manager.resync_to_restart = jpeg_resync_to_restart;
    source.manager.term_source = TermSource;
    info.src = &source.manager;
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK || jpeg_has_multiple_scans(&info)) {
        jpeg_destroy_decompress(&info);
        return result;
    }
    result.judged = true;
    info.out_color_space = JCS_GRAYSCALE;
    info.scale_num = 1;
    info.scale_denom = 8;
    info.dct_method = JDCT_IFAST;
    info.do_fancy_upsampling = FALSE;
    jpeg_start_decompress(&info);
    const std::size_t width = info.output_width;
    const std::size_t rowsPerBlockRow =
        std::max<std::size_t>(1, (info.output_height + info.total_iMCU_rows - 1) / std::max<JDIMENSION>(1, info.total_iMCU_rows));
    row.resize(width);
    previous.resize(width);
    bool stopped = false;
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_read_scanlines(&info, rows, 1);
        const std::size_t y = info.output_scanline - 1;
        seen.steps.push_back(y == 0 ? 0 : Step(row, previous));
        std::swap(row, previous);
        if (join && seen.joinRow == SIZE_MAX && source.Consumed() > *join) seen.joinRow = y;
        if (faults.first) break;  // what follows a fault tells nothing more
        if (!toTheEnd && seen.joinRow != SIZE_MAX && y >= seen.joinRow + 2 * rowsPerBlockRow) {
            stopped = true;
            break;
        }
    }
    if (info.output_scanline >= info.output_height && !stopped) jpeg_finish_decompress(&info);
    else jpeg_abort_decompress(&info);
    jpeg_destroy_decompress(&info);
    result.fault = faults.first;
    if (source.ended && !result.fault) result.fault = source.Consumed();
    result.clean = !result.fault;
    result.alike = seen.joinRow == SIZE_MAX || Alike(seen.steps, seen.joinRow);
    return result;
}

}  // namespace kelvara
