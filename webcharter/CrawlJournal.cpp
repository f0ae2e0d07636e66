#include "CrawlJournal.h"

#include <zlib.h>

#include <unistd.h>

#include <cstring>

namespace vantora::webcharter {

namespace {

const char Magic[] = "VANTORA-CRAWL-JOURNAL 2\n";
// A record larger than this is damage, not an answer (bodies are cut at the
// document size limit, which sm bounds at 10 GB: such a page is not kept).
constexpr uint32_t MostRecordBytes = 0x7FFFFFFF;

void PutNumber(std::string& out, uint64_t value) {
    // seven bits a byte, the high bit set on all but the last
    while (value >= 0x80) {
        out.push_back(static_cast<char>(value | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<char>(value));
}

void PutSigned(std::string& out, long long value) {
    PutNumber(out, (static_cast<uint64_t>(value) << 1) ^ static_cast<uint64_t>(value >> 63));
}

void PutText(std::string& out, std::string_view text) {
    PutNumber(out, text.size());
    out.append(text);
}

void PutWord(std::string& out, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>(value >> (8 * i)));
}

uint32_t GetWord(const unsigned char* at) {
    return at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

// Reads what Put* wrote; any read past the end marks the whole record bad.
struct Reader {
    std::string_view Rest;
    bool Bad = false;
    uint64_t Number() {
        uint64_t value = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (Rest.empty()) {
                Bad = true;
                return 0;
            }
            const auto byte = static_cast<unsigned char>(Rest.front());
            Rest.remove_prefix(1);
            value |= static_cast<uint64_t>(byte & 0x7F) << shift;
            if (!(byte & 0x80))
                return value;
        }
        Bad = true;
        return 0;
    }
    long long Signed() {
        const uint64_t value = Number();
        return static_cast<long long>((value >> 1) ^ (~(value & 1) + 1));
    }
    std::string Text() {
        const uint64_t size = Number();
        if (size > Rest.size()) {
            Bad = true;
            return {};
        }
        std::string text(Rest.substr(0, size));
        Rest.remove_prefix(size);
        return text;
    }
};

std::string Encode(const RecordedAnswer& answer) {
    std::string out;
    out.reserve(answer.Body.size() + answer.Url.size() + 64);
    PutNumber(out, (answer.Check ? 1 : 0) | (answer.Head ? 2 : 0) | (answer.Html ? 4 : 0) |
                       (answer.Truncated ? 8 : 0));
    PutText(out, answer.Url);
    PutSigned(out, answer.Code);
    PutSigned(out, answer.Status);
    PutText(out, answer.RedirectUrl);
    PutText(out, answer.ContentType);
    PutText(out, answer.PrimaryIp);
    PutText(out, answer.Error);
    PutSigned(out, answer.FirstByteMs);
    PutSigned(out, answer.TotalMs);
    PutSigned(out, answer.DownloadBytes);
    PutText(out, answer.Type);
    PutText(out, answer.Modified);
    PutText(out, answer.RobotsHeader);
    PutNumber(out, answer.LinkCanonicals.size());
    for (const std::string& canonical : answer.LinkCanonicals)
        PutText(out, canonical);
    PutNumber(out, answer.NextLinks.size());
    for (const std::string& next : answer.NextLinks)
        PutText(out, next);
    PutText(out, answer.Body);
    return out;
}

std::optional<RecordedAnswer> Decode(std::string_view payload) {
    Reader in{payload};
    RecordedAnswer answer;
    const uint64_t flags = in.Number();
    answer.Check = flags & 1;
    answer.Head = flags & 2;
    answer.Html = flags & 4;
    answer.Truncated = flags & 8;
    answer.Url = in.Text();
    answer.Code = static_cast<int>(in.Signed());
    answer.Status = static_cast<long>(in.Signed());
    answer.RedirectUrl = in.Text();
    answer.ContentType = in.Text();
    answer.PrimaryIp = in.Text();
    answer.Error = in.Text();
    answer.FirstByteMs = static_cast<long>(in.Signed());
    answer.TotalMs = static_cast<long>(in.Signed());
    answer.DownloadBytes = in.Signed();
    answer.Type = in.Text();
    answer.Modified = in.Text();
    answer.RobotsHeader = in.Text();
    const uint64_t canonicals = in.Number();
    for (uint64_t i = 0; i < canonicals && !in.Bad; ++i)
        answer.LinkCanonicals.push_back(in.Text());
    const uint64_t nexts = in.Number();
    for (uint64_t i = 0; i < nexts && !in.Bad; ++i)
        answer.NextLinks.push_back(in.Text());
    answer.Body = in.Text();
    if (in.Bad || !in.Rest.empty())
        return std::nullopt;
    return answer;
}

// Reads size bytes at offset; false at the end of the file or on an error.
bool ReadAt(std::FILE* file, uint64_t offset, void* into, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t got = pread(fileno(file), static_cast<char*>(into) + done, size - done,
                                  static_cast<off_t>(offset + done));
        if (got <= 0)
            return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

} // namespace

CrawlJournal::~CrawlJournal() {
    if (File) {
        Flush(true);
        std::fclose(File);
    }
}

std::string CrawlJournal::KeyOf(bool check, bool head, std::string_view url) {
    std::string key(check ? (head ? "H " : "C ") : "P ");
    key.append(url);
    return key;
}

bool CrawlJournal::Open(const std::string& path, const std::string& root, bool resume,
                        uint64_t maxBytes, std::string& note, std::string& error) {
    Path = path;
    MaxBytes = maxBytes;
    const std::string header = std::string(Magic) + root + "\n";
    std::FILE* old = resume ? std::fopen(path.c_str(), "r+b") : nullptr;
    if (old) {
        std::string start(header.size(), '\0');
        if (!ReadAt(old, 0, start.data(), start.size()) || start != header) {
            note = "the crawl journal " + path +
                   " is not one of this site's crawls; the crawl starts afresh";
            std::fclose(old);
            old = nullptr;
        }
    } else if (resume && access(path.c_str(), F_OK) == 0) {
        error = "cannot write the crawl journal " + path; // there, but not to be written
        return false;
    }
    if (old) {
        // the whole records, up to the first one cut short or damaged
        uint64_t at = header.size();
        std::string payload;
        while (true) {
            unsigned char head[8];
            if (!ReadAt(old, at, head, sizeof head))
                break;
            const uint32_t size = GetWord(head), sum = GetWord(head + 4);
            if (size > MostRecordBytes)
                break;
            payload.resize(size);
            if (!ReadAt(old, at + 8, payload.data(), size) ||
                crc32(0, reinterpret_cast<const Bytef*>(payload.data()), size) != sum)
                break;
            const std::optional<RecordedAnswer> answer = Decode(payload);
            if (!answer)
                break;
            if (Index.Add(KeyOf(answer->Check, answer->Head, answer->Url),
                          static_cast<int>(Offsets.size())))
                Offsets.push_back(at);
            at += 8 + size;
        }
        if (ftruncate(fileno(old), static_cast<off_t>(at)) != 0 ||
            std::fseek(old, static_cast<long>(at), SEEK_SET) != 0) {
            std::fclose(old);
            error = "cannot write the crawl journal " + path;
            return false;
        }
        File = old;
        Size = at;
    } else {
        File = std::fopen(path.c_str(), "wb");
        if (!File || std::fwrite(header.data(), 1, header.size(), File) != header.size()) {
            error = "cannot write the crawl journal " + path;
            return false;
        }
        Size = header.size();
    }
    std::setvbuf(File, nullptr, _IOFBF, 1 << 20);
    LastFlush = LastSync = std::chrono::steady_clock::now();
    return true;
}

std::optional<RecordedAnswer> CrawlJournal::Find(bool check, bool head,
                                                 std::string_view url) const {
    const int number = Index.Find(KeyOf(check, head, url));
    if (number < 0 || !File)
        return std::nullopt;
    unsigned char head8[8];
    if (!ReadAt(File, Offsets[number], head8, sizeof head8))
        return std::nullopt;
    std::string payload(GetWord(head8), '\0');
    if (!ReadAt(File, Offsets[number] + 8, payload.data(), payload.size()))
        return std::nullopt;
    std::optional<RecordedAnswer> answer = Decode(payload);
    // a hash shared by two requests: the other one's answer is not this one's
    if (answer && (answer->Check != check || answer->Head != head || answer->Url != url))
        return std::nullopt;
    return answer;
}

bool CrawlJournal::Add(const RecordedAnswer& answer) {
    if (!File || Closed)
        return false;
    const std::string payload = Encode(answer);
    if (payload.size() > MostRecordBytes)
        return true; // too large to keep: asked again after a resume
    if (Size + 8 + payload.size() > MaxBytes) {
        Closed = true;
        Problem = "the crawl journal " + Path + " reached its limit of " +
                  std::to_string(MaxBytes >> 20) +
                  " MB; answers after this one are not kept, and a resumed crawl asks for "
                  "them again";
        return false;
    }
    std::string head;
    PutWord(head, static_cast<uint32_t>(payload.size()));
    PutWord(head, crc32(0, reinterpret_cast<const Bytef*>(payload.data()),
                        static_cast<uInt>(payload.size())));
    if (std::fwrite(head.data(), 1, head.size(), File) != head.size() ||
        std::fwrite(payload.data(), 1, payload.size(), File) != payload.size()) {
        Closed = true;
        Problem = "cannot write the crawl journal " + Path + " (" + std::strerror(errno) +
                  "); a resumed crawl asks for the answers after this point again";
        return false;
    }
    Size += head.size() + payload.size();
    ++Appended;
    return true;
}

void CrawlJournal::Tick() {
    const auto now = std::chrono::steady_clock::now();
    if (now - LastFlush < std::chrono::seconds(1))
        return;
    Flush(now - LastSync >= std::chrono::seconds(30));
}

void CrawlJournal::Flush(bool sync) {
    if (!File)
        return;
    const auto now = std::chrono::steady_clock::now();
    LastFlush = now;
    std::fflush(File);
    if (sync) {
        LastSync = now;
        fdatasync(fileno(File));
    }
}

} // namespace vantora::webcharter
