// The mask file reader, from memory and from a file. Beyond the sanitizers: a file is taken
// only when its header is the one of full-size references and all four blocks are there,
// and what is taken is the file's bytes.
//
// A whole mask file is 37 MB, far beyond what the fuzzer feeds in; an input whose header is
// accepted is therefore also laid over a full-size file image (and over one a few bytes too
// short). Copying 36 MB per input would stall the fuzzer once it has learnt the header, and
// the copy does not depend on the bytes, so that check runs for the first accepted inputs of
// a process only.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "output/MaskFile.h"
#include "support/Check.h"

using namespace orvane;
using imaging::CDibImage;

namespace {

struct References {
    CDibImage dark8, bright8, dark16, bright16;
    output::MaskReferences refs() {
        return output::MaskReferences{&dark8, &bright8, &dark16, &bright16};
    }
};

std::unique_ptr<References> g_refs;
imaging::AlignedBytes g_image;  // a full-size file image
std::string g_path;
int g_fullChecks = 0;
constexpr int kFullChecksPerProcess = 64;

void check(bool ok, const char* what) {
    orvane::fuzz::check(ok, "mask reader", what);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_refs = std::make_unique<References>();
    g_refs->dark8.Create(output::kMaskWidth, output::kMaskHeight, 8);
    g_refs->bright8.Create(output::kMaskWidth, output::kMaskHeight, 8);
    g_refs->dark16.Create(output::kMaskWidth, output::kMaskHeight, 16);
    g_refs->bright16.Create(output::kMaskWidth, output::kMaskHeight, 16);
    g_image = imaging::alignedAlloc(output::kMaskFileBytes);
    std::memset(g_image.get(), 0, output::kMaskFileBytes);
    g_path = "/dev/shm/orvane-fuzz-mask-" + std::to_string(getpid());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const output::MaskReferences refs = g_refs->refs();
    // Inputs are far shorter than a mask file: nothing may be taken from them.
    check(output::DecodeMaskData(data, size, refs) == 0, "short image accepted");

    const int fd = ::open(g_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd >= 0) {
        const bool written = size == 0 || ::write(fd, data, size) == static_cast<ssize_t>(size);
        ::close(fd);
        if (written) check(output::LoadMaskFile(g_path.c_str(), refs) == 0, "short file accepted");
    }

    if (size < output::kMaskHeaderBytes) return 0;
    output::MaskFileHeader header;
    std::memcpy(&header, data, sizeof header);
    if (!output::MaskHeaderAccepted(header, refs) || g_fullChecks >= kFullChecksPerProcess)
        return 0;
    ++g_fullChecks;
    std::memcpy(g_image.get(), data, size);
    const size_t shortBy = size > output::kMaskHeaderBytes ? data[output::kMaskHeaderBytes] : 0;
    const size_t imageBytes = output::kMaskFileBytes - shortBy;
    const int taken = output::DecodeMaskData(g_image.get(), imageBytes, refs);
    check(taken == (shortBy == 0 ? 1 : 0), "full-size image judged wrongly");
    if (taken)
        check(std::memcmp(refs.dark8->bits(), g_image.get() + output::kMaskHeaderBytes,
                          size - output::kMaskHeaderBytes) == 0,
              "dark reference is not the file's first block");
    return 0;
}
