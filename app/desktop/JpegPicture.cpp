#include "JpegPicture.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace vvp {
namespace {

struct ErrorManager {
    jpeg_error_mgr pub; // first, so libjpeg's pointer to it is a pointer to this
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void OnError(j_common_ptr info) {
    auto* manager = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, manager->message);
    std::longjmp(manager->jump, 1);
}

// Warnings (a corrupt but readable picture) are not worth a line on standard error.
void OnMessage(j_common_ptr, int) {}

} // namespace

Result<RgbPicture> DecodeJpeg(const std::string& bytes, int maxSide) {
    if (bytes.empty()) return Error{"The picture is empty"};
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    info.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = OnError;
    errors.pub.emit_message = OnMessage;
    // Everything the longjmp may skip lives outside this frame's locals that change after setjmp.
    RgbPicture* volatile picture = new RgbPicture;
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_decompress(&info);
        delete picture;
        return Error{std::string("The picture cannot be read: ") + errors.message};
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    if (info.image_width == 0 || info.image_height == 0 ||
        info.image_width > static_cast<unsigned>(maxSide) ||
        info.image_height > static_cast<unsigned>(maxSide)) {
        jpeg_destroy_decompress(&info);
        const std::string size = std::to_string(info.image_width) + " x " + std::to_string(info.image_height);
        delete picture;
        return Error{"The picture's size " + size + " is not allowed"};
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    if (info.output_components != 3) {
        jpeg_destroy_decompress(&info);
        delete picture;
        return Error{"The picture is not in colour"};
    }
    picture->width = static_cast<int>(info.output_width);
    picture->height = static_cast<int>(info.output_height);
    const size_t stride = static_cast<size_t>(info.output_width) * 3;
    picture->pixels.assign(stride * info.output_height, 0);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = picture->pixels.data() + stride * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    RgbPicture result = std::move(*picture);
    delete picture;
    return result;
}

} // namespace vvp
