#include "core/animate.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <memory>

#include "common/filepath.h"

namespace {

constexpr std::size_t MinWindow = 2;
// Saved decoder states at most: their spacing grows with the frame count, so
// their memory does not.
constexpr std::uint32_t MaxStates = 16;

// Hands out composited frames in any order with memory bounded by the canvas.
// A frame after the active one is reached by decoding on; an earlier one by
// restoring the nearest saved state (or starting over, for pictures that
// keep none) and decoding on, keeping the last frames of the way in a window,
// so a backward order costs one refill per window.
class FrameWalker {
public:
    // Only an order that goes back needs the window, of `windowBytes`.
    FrameWalker(engine::Image &image, bool backward, std::int64_t windowBytes)
        : m_image(image)
    {
        const std::int64_t frameBytes = std::max<std::int64_t>(std::int64_t(image.width()) * image.height() * 4, 1);
        m_window = backward ? std::max<std::size_t>(MinWindow, std::size_t(windowBytes / frameBytes)) : 0;
        m_stateEvery = std::max<std::uint32_t>(std::uint32_t(std::max(m_window, MinWindow)),
                                               (image.frameCount() + MaxStates - 1) / MaxStates);
    }

    engine::Status frame(std::uint32_t index, QImage *out)
    {
        const auto hit = m_held.find(index);
        if (hit != m_held.end()) {
            *out = hit->second;
            return engine::Ok;
        }
        std::uint32_t from = 0;
        if (m_active >= 0 && std::uint32_t(m_active) < index) {
            from = std::uint32_t(m_active) + 1;
        } else {
            m_held.clear();
            const auto state = m_states.upper_bound(index);
            if (state != m_states.begin()
                && m_image.restoreState(*std::prev(state)->second) == engine::Ok)
                from = std::prev(state)->first + 1;
            if (from == 0)
                m_active = -1;
            else
                m_active = std::int64_t(from) - 1;
        }
        for (std::uint32_t i = from; i <= index; ++i) {
            const engine::Status s = m_image.selectFrame(m_image.frameDimension(), i);
            if (s != engine::Ok) {
                m_active = -1;
                return s;
            }
            m_active = i;
            if (m_window > 0 && i % m_stateEvery == 0 && !m_states.count(i))
                if (auto state = m_image.saveState())
                    m_states.emplace(i, std::move(state));
            if (index - i < std::uint32_t(m_window)) {
                m_held.emplace(i, m_image.activeFrame());
                while (m_held.size() > m_window)
                    m_held.erase(m_held.begin());
            }
        }
        *out = m_image.activeFrame();
        return engine::Ok;
    }

private:
    engine::Image &m_image;
    std::size_t m_window = MinWindow;
    std::uint32_t m_stateEvery = 1;
    std::int64_t m_active = -1; // what the walker last selected; -1: unknown
    std::map<std::uint32_t, QImage> m_held;
    std::map<std::uint32_t, std::shared_ptr<const engine::FrameState>> m_states;
};

} // namespace

bool isGifFile(const QString &path)
{
    const int fd = ::open(filepath::pathToBytes(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char head[6] = {};
    const ssize_t n = ::read(fd, head, sizeof head);
    ::close(fd);
    return n == 6 && (std::equal(head, head + 6, "GIF87a") || std::equal(head, head + 6, "GIF89a"));
}

int sourcePlays(const engine::Image &image, bool gif)
{
    const int loop = image.loopCount();
    if (loop < 0)
        return 1;
    if (gif && loop > 0)
        return loop + 1;
    return loop;
}

std::vector<std::uint32_t> framesOrAll(std::vector<std::uint32_t> chosen, std::uint32_t frameCount)
{
    if (chosen.empty())
        for (std::uint32_t i = 0; i < frameCount; ++i)
            chosen.push_back(i);
    return chosen;
}

std::vector<std::uint32_t> playOrder(const std::vector<std::uint32_t> &chosen, FrameOrder order)
{
    std::vector<std::uint32_t> out = chosen;
    if (order == FrameOrder::Reverse) {
        std::reverse(out.begin(), out.end());
    } else if (order == FrameOrder::PingPong && chosen.size() > 2) {
        out.insert(out.end(), chosen.rbegin() + 1, chosen.rend() - 1);
    }
    return out;
}

AnimateResult animate(engine::Image &image, bool gif, const AnimateRequest &request)
{
    AnimateResult result;
    const std::vector<std::uint32_t> chosen = framesOrAll(request.frames, image.frameCount());
    const std::vector<std::uint32_t> order = playOrder(chosen, request.order);
    const std::vector<std::uint32_t> stored = image.frameDelaysMs();
    FrameWalker walker(image, request.order != FrameOrder::Forward, request.heldBytes);

    engine::AnimationOptions options;
    options.format = request.format;
    options.width = image.width();
    options.height = image.height();
    options.frameCount = std::uint32_t(order.size());
    options.plays = request.plays >= 0 ? request.plays : sourcePlays(image, gif);
    options.quality = request.quality;

    auto failed = [&](engine::Status s, std::uint32_t frame) {
        result.cause = engine::causeFromStatus(s);
        result.failedFrame = frame;
        return result;
    };
    QImage frame;
    // Palette formats first learn whether all frames share one table.
    if (request.format != engine::AnimationFormat::Webp) {
        engine::ColourSet colours(request.format);
        for (std::uint32_t i : chosen) {
            if (request.cancel && request.cancel->load()) {
                result.cancelled = true;
                return result;
            }
            frame = QImage(); // let the decoder draw the next frame in place
            const engine::Status s = walker.frame(i, &frame);
            if (s != engine::Ok)
                return failed(s, i);
            colours.add(frame);
            if (!colours.fits())
                break;
        }
        options.sharedColours = colours.colours();
    }

    std::unique_ptr<engine::AnimationWriter> writer = engine::AnimationWriter::create(request.target, options);
    for (std::uint32_t i : order) {
        if (writer->status() != engine::Ok)
            break;
        if (request.cancel && request.cancel->load()) {
            result.cancelled = true;
            return result;
        }
        frame = QImage();
        const engine::Status s = walker.frame(i, &frame);
        if (s != engine::Ok)
            return failed(s, i);
        const std::int64_t played = engine::playedDelayMs(i < stored.size() ? stored[i] : 0, gif);
        writer->addFrame(frame, double(played) / request.speed);
        ++result.framesWritten;
        if (request.progress)
            request.progress(result.framesWritten, std::uint32_t(order.size()));
    }
    if (writer->status() == engine::Ok)
        writer->finish();
    result.notes = writer->notes();
    result.cause = writer->status() == engine::Ok ? engine::Cause::None : writer->cause();
    if (result.cause == engine::Cause::None && writer->status() != engine::Ok)
        result.cause = engine::Cause::EncodeFailed;
    return result;
}
