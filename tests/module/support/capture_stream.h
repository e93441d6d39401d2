// A host output stream for extraction tests: keeps what is written, counts its calls and can fail the
// n-th write or the open.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "nsfrex/host.h"

namespace nsfrex_test {

/* A host output stream that keeps what is written, counts its calls and can fail the n-th write. */
struct CaptureStream {
    IOobj64 io{};
    std::string name = "out.bin";
    std::string data;
    std::vector<uint32_t> writes;
    int cOpen = 0;
    int cClose = 0;
    int nFailWrite = 0;     /* 1-based write that fails; 0 = none */
    bool bOpenFails = false;

    CaptureStream()
    {
        io.pHostData = this;
        io.pFileName = name.data();
        io.twOpenFunc = [](IOobj64 *p) -> int32_t {
            CaptureStream *s = From(p);
            s->cOpen++;
            if (s->bOpenFails)
                return 0;
            p->twCloseFunc = [](IOobj64 *q) -> int32_t {
                From(q)->cClose++;
                q->twCloseFunc = nullptr;
                return 1;
            };
            return 1;
        };
        io.twWriteFunc = [](IOobj64 *p, const uint8_t *pb, uint32_t cb) -> int32_t {
            CaptureStream *s = From(p);
            s->writes.push_back(cb);
            if (s->nFailWrite != 0 && static_cast<int>(s->writes.size()) == s->nFailWrite)
                return 0;
            s->data.append(reinterpret_cast<const char *>(pb), cb);
            return 1;
        };
    }
    CaptureStream(const CaptureStream &) = delete;
    CaptureStream &operator=(const CaptureStream &) = delete;
    static CaptureStream *From(IOobj64 *p) { return static_cast<CaptureStream *>(p->pHostData); }
};

}  // namespace nsfrex_test
