// Frame composition of the Linux front ends: the background, then each ball with pixman; the
// whole frame or only the rectangles that changed.
#include "saver/frame_linux.h"

#include <algorithm>
#include <utility>

#include "settings/settings.h"

namespace {

// The solid mask of the balls' opacity, and the opacity in percent.
pixman_image_t* ballMask;
int32_t ballOpacity = 100;

bool isUsable(const FramePixels& frame)
{
    return frame.pixels != nullptr && frame.width > 0 && frame.height > 0 && frame.stride % 4 == 0 &&
           frame.stride / 4 >= frame.width;
}

bool samePixels(const FramePixels& a, const FramePixels& b)
{
    return a.pixels == b.pixels && a.width == b.width && a.height == b.height && a.stride == b.stride;
}

bool isEmpty(const ScreenRect& rect)
{
    return rect.width <= 0 || rect.height <= 0;
}

int64_t areaOf(const ScreenRect& rect)
{
    return int64_t{rect.width} * rect.height;
}

ScreenRect intersection(const ScreenRect& a, const ScreenRect& b)
{
    const int32_t left = std::max(a.x, b.x);
    const int32_t top = std::max(a.y, b.y);
    const int32_t right = std::min(a.x + a.width, b.x + b.width);
    const int32_t bottom = std::min(a.y + a.height, b.y + b.height);
    return {left, top, std::max(right - left, 0), std::max(bottom - top, 0)};
}

ScreenRect boundingBox(const ScreenRect& a, const ScreenRect& b)
{
    const int32_t left = std::min(a.x, b.x);
    const int32_t top = std::min(a.y, b.y);
    return {left, top, std::max(a.x + a.width, b.x + b.width) - left,
            std::max(a.y + a.height, b.y + b.height) - top};
}

bool overlap(const ScreenRect& a, const ScreenRect& b)
{
    return !isEmpty(intersection(a, b));
}

// The square ball i covers in the frame, clipped to it; empty when it is not drawn.
ScreenRect squareOf(const SurfaceFrame& surface, const BallField& field, int32_t i, const FramePixels& frame)
{
    const int32_t index = field.imageIndex[i];
    if (index < 0 || index >= kPictureCount || surface.balls[index] == nullptr) return {0, 0, 0, 0};
    const int32_t side = pixman_image_get_width(surface.balls[index]);
    return intersection({field.x[i], field.y[i], side, side}, {0, 0, frame.width, frame.height});
}

// Each ball that touches rect, in order, drawn into it and nowhere else.
void drawBalls(const SurfaceFrame& surface, const BallField& field, int32_t count, pixman_image_t* target,
               const FramePixels& frame, const ScreenRect& rect)
{
    for (int32_t i = 0; i < count; ++i) {
        const ScreenRect part = intersection(squareOf(surface, field, i, frame), rect);
        if (isEmpty(part)) continue;
        pixman_image_composite32(PIXMAN_OP_OVER, surface.balls[field.imageIndex[i]], nullptr, target,
                                 part.x - field.x[i], part.y - field.y[i], 0, 0, part.x, part.y, part.width,
                                 part.height);
    }
}

// What a ball's squares in the buffer and now cover, in boxes: one box around both when they
// overlap (a ball moves a pixel or two), else each. Returns the number of boxes.
int boxesOf(const ScreenRect& was, const ScreenRect& now, ScreenRect* boxes)
{
    if (overlap(was, now)) {
        boxes[0] = boundingBox(was, now);
        return 1;
    }
    boxes[0] = was;
    boxes[1] = now;
    return 2;
}

// The background into the pixels of rect that some box covers, each once; the rest of rect
// shows the background already, as no ball was or is there. Band by band between the boxes'
// top and bottom edges, with each band's spans merged where they meet.
void restoreUnderBoxes(const Background& background, const FramePixels& frame, const ScreenRect& rect,
                       const ScreenRect* boxes, int boxCount)
{
    ScreenRect inside[2 * kMaxBalls];
    int32_t edges[4 * kMaxBalls];
    int insideCount = 0;
    for (int i = 0; i < boxCount; ++i) {
        const ScreenRect box = intersection(boxes[i], rect);
        if (isEmpty(box)) continue;
        edges[2 * insideCount] = box.y;
        edges[2 * insideCount + 1] = box.y + box.height;
        inside[insideCount++] = box;
    }
    std::sort(edges, edges + 2 * insideCount);
    for (int e = 0; e + 1 < 2 * insideCount; ++e) {
        const int32_t top = edges[e];
        const int32_t bottom = edges[e + 1];
        if (top == bottom) continue;
        std::pair<int32_t, int32_t> spans[2 * kMaxBalls];  // left and right of each box across the band
        int spanCount = 0;
        for (int i = 0; i < insideCount; ++i)
            if (inside[i].y <= top && inside[i].y + inside[i].height >= bottom)
                spans[spanCount++] = {inside[i].x, inside[i].x + inside[i].width};
        std::sort(spans, spans + spanCount);
        for (int i = 0; i < spanCount;) {
            const int32_t left = spans[i].first;
            int32_t right = spans[i].second;
            for (++i; i < spanCount && spans[i].first <= right; ++i) right = std::max(right, spans[i].second);
            restoreBackground(background, frame, {left, top, right - left, bottom - top});
        }
    }
}

// Adds rect to changes, merging it with every rectangle it overlaps until none overlap; false
// when there is no room left.
bool addChange(FrameChanges& changes, ScreenRect rect)
{
    if (isEmpty(rect)) return true;
    for (int i = 0; i < changes.count;) {
        if (overlap(rect, changes.rects[i])) {
            rect = boundingBox(rect, changes.rects[i]);
            changes.rects[i] = changes.rects[--changes.count];
            i = 0;
        } else {
            ++i;
        }
    }
    if (changes.count == kMaxChangedRects) return false;
    changes.rects[changes.count++] = rect;
    return true;
}

// The squares of the balls where they were drawn in the buffer and where they are now, merged;
// false when the whole frame is to be drawn instead.
bool findChanges(const SurfaceFrame& surface, const BallField& field, int32_t count, const BufferRecord& record,
                 const FramePixels& frame, FrameChanges& changes)
{
    int64_t area = 0;
    for (int32_t i = 0; i < count; ++i) {
        const ScreenRect was = record.squares[i];
        const ScreenRect now = squareOf(surface, field, i, frame);
        if (was.x == now.x && was.y == now.y && was.width == now.width && was.height == now.height) continue;
        ScreenRect boxes[2];
        for (int b = 0, boxCount = boxesOf(was, now, boxes); b < boxCount; ++b)
            if (!addChange(changes, boxes[b])) return false;
    }
    for (int i = 0; i < changes.count; ++i) area += areaOf(changes.rects[i]);
    return area * 2 < areaOf({0, 0, frame.width, frame.height});
}

void releaseBalls(SurfaceFrame& surface)
{
    for (pixman_image_t*& ball : surface.balls) {
        if (ball != nullptr) pixman_image_unref(ball);
        ball = nullptr;
    }
}

// The thumbnails scaled by the opacity once, so that a frame draws each ball with one OVER and
// no mask: the same pixels as OVER through the opacity's mask, in less time.
void makeBalls(SurfaceFrame& surface)
{
    releaseBalls(surface);
    for (int i = 0; i < kPictureCount; ++i) {
        pixman_image_t* thumbnail = surface.thumbnails.images[i];
        if (thumbnail == nullptr) continue;
        if (ballMask == nullptr) {
            surface.balls[i] = pixman_image_ref(thumbnail);
            continue;
        }
        const int32_t side = pixman_image_get_width(thumbnail);
        surface.balls[i] =
            pixman_image_create_bits(PIXMAN_a8r8g8b8, side, pixman_image_get_height(thumbnail), nullptr, 0);
        if (surface.balls[i] != nullptr)
            pixman_image_composite32(PIXMAN_OP_SRC, thumbnail, ballMask, surface.balls[i], 0, 0, 0, 0, 0, 0, side,
                                     pixman_image_get_height(thumbnail));
    }
    surface.ballsOpacity = ballOpacity;
    surface.ballsGeneration = ++surface.generation;
}

void releaseBackground(SurfaceFrame& surface)
{
    releaseBackgroundImage(surface.background);
    ++surface.generation;
}

}  // namespace

bool makeBackground(SurfaceFrame& surface, int32_t backgroundType, const DesktopPixels* desktop,
                    const ScreenRect& part, int32_t width, int32_t height)
{
    ++surface.generation;
    return makeBackgroundImage(surface.background, backgroundType, desktop, part, width, height);
}

void setBallSize(SurfaceFrame& surface, int32_t ballSize)
{
    if (surface.thumbnails.size == ballSize && ballSize > 0) return;
    makeThumbnails(surface.thumbnails, ballSize);
    ++surface.generation;
}

bool setBallOpacity(int32_t opacityPercent)
{
    const DisplaySetting& range = displaySettingFor(&Settings::opacityPercent);
    const int32_t percent =
        std::clamp(opacityPercent, static_cast<int32_t>(range.minimum), static_cast<int32_t>(range.maximum));
    releaseBallMask();
    ballOpacity = percent;
    // 16-bit alpha, rounded; pixman keeps its top 8 bits.
    const pixman_color_t opacity = {0, 0, 0, static_cast<uint16_t>((percent * 0xffff + 50) / 100)};
    ballMask = pixman_image_create_solid_fill(&opacity);
    return ballMask != nullptr;
}

FrameChanges composeFrame(SurfaceFrame& surface, const BallField& field, BufferRecord& record,
                          const FramePixels& frame, bool onlyChanged)
{
    FrameChanges changes;
    if (!isUsable(frame)) return changes;
    if (surface.ballsGeneration != surface.generation || surface.ballsOpacity != ballOpacity) makeBalls(surface);
    if (record.target == nullptr || !samePixels(record.pixels, frame)) {
        releaseBufferRecord(record);
        record.target =
            pixman_image_create_bits(PIXMAN_x8r8g8b8, frame.width, frame.height, frame.pixels, frame.stride);
        record.pixels = frame;
    }
    const int32_t count = clampBallCount(field.ballCount);
    const bool known = record.drawn && record.generation == surface.generation && record.ballCount == count;
    if (!onlyChanged || !known || !findChanges(surface, field, count, record, frame, changes)) {
        changes.whole = true;
        changes.count = 1;
        changes.rects[0] = {0, 0, frame.width, frame.height};
    }
    // Every ball's boxes, those of the balls that stayed put too: they are drawn again where
    // they meet the changes.
    ScreenRect boxes[2 * kMaxBalls];
    int boxCount = 0;
    for (int32_t i = 0; i < count && !changes.whole; ++i)
        boxCount += boxesOf(record.squares[i], squareOf(surface, field, i, frame), boxes + boxCount);
    for (int i = 0; i < changes.count; ++i) {
        if (changes.whole)
            restoreBackground(surface.background, frame, changes.rects[i]);
        else
            restoreUnderBoxes(surface.background, frame, changes.rects[i], boxes, boxCount);
        if (record.target != nullptr) drawBalls(surface, field, count, record.target, frame, changes.rects[i]);
    }
    for (int32_t i = 0; i < count; ++i) record.squares[i] = squareOf(surface, field, i, frame);
    record.ballCount = count;
    record.generation = surface.generation;
    record.drawn = record.target != nullptr;
    return changes;
}

void releaseBufferRecord(BufferRecord& record)
{
    if (record.target != nullptr) pixman_image_unref(record.target);
    record = BufferRecord{};
}

void releaseSurfaceFrame(SurfaceFrame& surface)
{
    releaseBalls(surface);
    releaseBackground(surface);
    releaseThumbnails(surface.thumbnails);
}

void releaseBallMask()
{
    if (ballMask != nullptr) {
        pixman_image_unref(ballMask);
        ballMask = nullptr;
    }
}
