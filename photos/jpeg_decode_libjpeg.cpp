// DecodeJpeg with libjpeg(-turbo): a source over the ByteSource, warnings taken as faults.
#include <algorithm>
#include <functional>
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
    std::vector<double> steps;           // steps[y]: between row y - 1 and row y
    std::vector<std::uint64_t> consumed;  // consumed[y]: bytes read once row y was decoded
    std::size_t rowsPerBlockRow = 1;
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

// Where the picture first stops going on from the rows above it: the bytes read by the block row
// that shows it. Within a block row neighbouring rows of pixels differ little; between two block
// rows a little more (the blocks show). A wrong piece steps away from the picture at the block
// row that holds the join, and again at the next, whose left part it is too: two such steps many
// times the rows' own, where an edge of the picture along a block row makes one; or one step
// larger than such an edge makes.
std::optional<std::uint64_t> FirstJump(const Rows& rows) {
    const std::vector<double>& steps = rows.steps;
    const std::size_t block = rows.rowsPerBlockRow;
    if (block < 2) return std::nullopt;
    // The step into block row `b` against the steps within the block row above it.
    const auto jump = [&](std::size_t b, double factor, double least) {
        const std::size_t y = b * block;
        std::vector<double> within(steps.begin() + static_cast<long>(y - block + 1), steps.begin() + static_cast<long>(y));
        std::nth_element(within.begin(), within.begin() + static_cast<long>(within.size() / 2), within.end());
        return steps[y] > std::max(factor * within[within.size() / 2] + least / 2, least);
    };
    for (std::size_t b = 1; b * block < steps.size(); ++b) {
        if (jump(b, 8, 40)) return rows.consumed[b * block];
        if (jump(b, 4, 12) && (b + 1) * block < steps.size() && jump(b + 1, 4, 12)) return rows.consumed[(b + 1) * block];
    }
    return std::nullopt;
}

}  // namespace

JpegDecode DecodeJpeg(ByteSource& bytes, std::optional<std::uint64_t> stopAfter) {
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
        result.fault = faults.first;
        result.jump = FirstJump(*faults.rows);
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
    info.scale_denom = 2;
    info.dct_method = JDCT_IFAST;
    info.do_fancy_upsampling = FALSE;
    jpeg_start_decompress(&info);
    seen.rowsPerBlockRow =
        std::max<std::size_t>(1, (info.output_height + info.total_iMCU_rows - 1) / std::max<JDIMENSION>(1, info.total_iMCU_rows));
    row.resize(info.output_width);
    previous.resize(info.output_width);
    std::size_t stopRow = SIZE_MAX;  // the first row decoded from past `stopAfter`
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_read_scanlines(&info, rows, 1);
        const std::size_t y = info.output_scanline - 1;
        seen.steps.push_back(y == 0 ? 0 : Step(row, previous));
        seen.consumed.push_back(source.Consumed());
        std::swap(row, previous);
        if (faults.first) break;  // what follows a fault tells nothing more
        if (stopAfter && stopRow == SIZE_MAX && source.Consumed() > *stopAfter) stopRow = y;
        // The block rows after it too, to see the picture go on.
        if (stopRow != SIZE_MAX && y >= stopRow + 2 * seen.rowsPerBlockRow) break;
    }
    if (info.output_scanline >= info.output_height) jpeg_finish_decompress(&info);
    else jpeg_abort_decompress(&info);
    jpeg_destroy_decompress(&info);
    result.fault = faults.first;
    if (source.ended && !result.fault) result.fault = source.Consumed();
    result.jump = FirstJump(seen);
    result.clean = !result.fault && !result.jump;
    return result;
}

}  // namespace kelvara
