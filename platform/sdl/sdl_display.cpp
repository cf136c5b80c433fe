// DirectDraw on SDL2: the shared memory surfaces, with the primary's
// picture presented through a streaming texture. The cooperative level
// makes the renderer (vsync), the display mode the texture and the logical
// size; at each flip the new front buffer is uploaded and presented scaled
// to the window with its aspect kept, black borders. At a whole scale the
// pixels are copied sharp (nearest neighbour). At a fractional one (1024x768
// is 1.6 times 640x480) nearest neighbour alone would make a one-pixel
// stroke one screen pixel wide here and two there; so the picture is first
// enlarged sharp by the largest whole factor, then smoothly by the small
// remaining fraction: every copy of a letter keeps the same strokes, with
// one blended pixel at an edge.
// A render device reset marks the primary lost; Restore rebuilds the
// renderer and texture.
#include "platform/platform.h"
#include "platform/sdl/sdl_internal.h"
#include "platform/surface_core.h"
#include "platform/window_core.h"

namespace {

struct SdlDisplayState {
    DirectDraw* presenting = nullptr; // the device that owns the renderer
};

SdlDisplayState& State() {
    static SdlDisplayState state;
    return state;
}

void DropEnlarged() {
    SdlVideo& v = Video();
    if (v.enlarged)
        SDL_DestroyTexture(v.enlarged);
    v.enlarged = nullptr;
    v.enlargedFactor = 0;
}

bool MakeRenderer() {
    SdlVideo& v = Video();
    v.renderer = SDL_CreateRenderer(v.window, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
    if (!v.renderer)
        v.renderer = SDL_CreateRenderer(v.window, -1, SDL_RENDERER_PRESENTVSYNC);
    if (!v.renderer)
        v.renderer = SDL_CreateRenderer(v.window, -1, 0);
    if (!v.renderer) {
        SdlKeepReason("SDL_CreateRenderer");
        return false;
    }
    v.deviceReset = false;
    return true;
}

bool MakeTexture(int width, int height) {
    SdlVideo& v = Video();
    DropEnlarged();
    if (v.texture)
        SDL_DestroyTexture(v.texture);
    v.texture = SDL_CreateTexture(v.renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, width, height);
    if (!v.texture) {
        SdlKeepReason("SDL_CreateTexture");
        return false;
    }
    if (SDL_RenderSetLogicalSize(v.renderer, width, height) != 0) {
        SdlKeepReason("SDL_RenderSetLogicalSize");
        return false;
    }
    SDL_SetRenderDrawColor(v.renderer, 0, 0, 0, 255);
    SDL_RenderClear(v.renderer);
    SDL_RenderPresent(v.renderer);
    return true;
}

// The texture to stretch over the logical size: the picture itself at a
// whole screen scale, else the picture enlarged sharp by the largest whole
// factor into a texture that the final copy scales linearly. Falls back to
// the picture itself where the renderer cannot draw into a texture.
SDL_Texture* Enlarged(int width, int height) {
    SdlVideo& v = Video();
    float sx = 1.0f, sy = 1.0f;
    SDL_RenderGetScale(v.renderer, &sx, &sy);
    const float scale = sx < sy ? sx : sy;
    const int factor = scale < 1.0f ? 1 : static_cast<int>(scale + 1e-4f);
    if (scale - static_cast<float>(factor) < 1e-4f && scale >= 1.0f)
        return v.texture; // whole: sharp all the way
    if (!SDL_RenderTargetSupported(v.renderer))
        return v.texture;
    if (v.enlargedFactor != factor) {
        DropEnlarged();
        v.enlarged = SDL_CreateTexture(v.renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_TARGET, width * factor,
                                       height * factor);
        if (!v.enlarged)
            return v.texture;
        SDL_SetTextureScaleMode(v.enlarged, SDL_ScaleModeLinear);
        v.enlargedFactor = factor;
    }
    SDL_SetTextureScaleMode(v.texture, SDL_ScaleModeNearest);
    if (SDL_SetRenderTarget(v.renderer, v.enlarged) != 0)
        return v.texture;
    const bool copied = SDL_RenderCopy(v.renderer, v.texture, nullptr, nullptr) == 0;
    SDL_SetRenderTarget(v.renderer, nullptr);
    return copied ? v.enlarged : v.texture;
}

Result Present(Surface* primary) {
    SdlVideo& v = Video();
    if (!v.renderer || !v.texture)
        return RESULT_OK; // nothing to show on
    const PixelBuffer& front = primary->pixels;
    int tw = 0, th = 0;
    SDL_QueryTexture(v.texture, nullptr, nullptr, &tw, &th);
    if (tw != front.width || th != front.height)
        return RESULT_OK;
    if (SDL_UpdateTexture(v.texture, nullptr, front.storage.data(), front.pitch) != 0) {
        SdlKeepReason("SDL_UpdateTexture");
        return RESULT_FAILED;
    }
    SDL_Texture* shown = Enlarged(tw, th);
    SDL_SetRenderDrawColor(v.renderer, 0, 0, 0, 255);
    SDL_RenderClear(v.renderer);
    if (SDL_RenderCopy(v.renderer, shown, nullptr, nullptr) != 0) {
        SdlKeepReason("SDL_RenderCopy");
        return RESULT_FAILED;
    }
    SDL_RenderPresent(v.renderer); // waits for the vertical blank
    return RESULT_OK;
}

} // namespace

void SdlMarkPrimaryLost() {
    for (int i = 0; i < CoreLiveSurfaceCount(); ++i) {
        Surface* s = CoreLiveSurface(i);
        if (s->primary)
            s->lost = true;
    }
}

void SdlResetDisplay() { State() = SdlDisplayState{}; }

void SdlReleaseRenderer() {
    SdlVideo& v = Video();
    DropEnlarged();
    if (v.texture)
        SDL_DestroyTexture(v.texture);
    if (v.renderer)
        SDL_DestroyRenderer(v.renderer);
    v.texture = nullptr;
    v.renderer = nullptr;
    if (v.destroyPending && v.window) {
        SDL_DestroyWindow(v.window);
        v.window = nullptr;
        v.destroyPending = false;
    }
}

Result DdCreate(DirectDraw** out) {
    if (!out)
        return RESULT_FAILED;
    *out = nullptr;
    if (!SdlEnsureVideo())
        return RESULT_NODEVICE;
    *out = CoreNewDirectDraw();
    return RESULT_OK;
}

Result DdSetCooperativeLevel(DirectDraw* dd, Window* window, uint32_t flags) {
    if (!CoreDirectDrawLive(dd))
        return RESULT_FAILED;
    SdlVideo& v = Video();
    if ((flags & DDSCL_EXCLUSIVE) && (!CoreWindowAlive(window) || !v.window)) {
        v.reason = "no window for exclusive mode";
        return RESULT_FAILED;
    }
    if (flags & DDSCL_EXCLUSIVE) {
        if (State().presenting && State().presenting != dd)
            return RESULT_FAILED; // another device holds the screen
        if (!v.renderer && !MakeRenderer())
            return RESULT_FAILED;
        State().presenting = dd;
    }
    dd->cooperativeWindow = window;
    dd->cooperativeFlags = flags;
    return RESULT_OK;
}

Result DdSetDisplayMode(DirectDraw* dd, int width, int height, int bitsPerPixel, int, uint32_t) {
    if (!CoreDirectDrawLive(dd))
        return RESULT_FAILED;
    if (bitsPerPixel != 32 || width < 1 || height < 1 || width > MAX_BUFFER_SIDE || height > MAX_BUFFER_SIDE) {
        Video().reason = "only 32 bits per pixel are offered";
        return RESULT_FAILED;
    }
    if (State().presenting != dd || !Video().renderer) {
        Video().reason = "SetDisplayMode needs exclusive mode first";
        return RESULT_FAILED;
    }
    if (!MakeTexture(width, height))
        return RESULT_FAILED;
    dd->modeWidth = width;
    dd->modeHeight = height;
    return RESULT_OK;
}

Result DdCreateSurface(DirectDraw* dd, const SurfaceDesc* desc, Surface** out) {
    const Result r = CoreCreateSurface(dd, desc, 0, 0, OsScreenWidth(), OsScreenHeight(), out);
    if (r != RESULT_OK)
        Video().reason = "surface description not supported";
    return r;
}

void DdRelease(DirectDraw* dd) {
    if (!CoreDirectDrawLive(dd))
        return;
    if (State().presenting == dd) {
        SdlReleaseRenderer();
        State().presenting = nullptr;
    }
    CoreDeleteDirectDraw(dd);
}

Result SurfaceFlip(Surface* primary) {
    const Result r = CoreFlip(primary);
    if (r != RESULT_OK)
        return r;
    if (primary->owner != State().presenting)
        return RESULT_OK;
    return Present(primary);
}

Result SurfaceIsLost(Surface* surface) { return CoreIsLost(surface); }

Result SurfaceRestore(Surface* surface) {
    if (!CoreSurfaceLive(surface))
        return RESULT_FAILED;
    SdlVideo& v = Video();
    if (surface->primary && v.deviceReset && State().presenting) {
        DirectDraw* dd = State().presenting;
        DropEnlarged();
        if (v.texture)
            SDL_DestroyTexture(v.texture);
        if (v.renderer)
            SDL_DestroyRenderer(v.renderer);
        v.texture = nullptr;
        v.renderer = nullptr;
        if (!MakeRenderer())
            return RESULT_FAILED;
        if (dd->modeWidth && !MakeTexture(dd->modeWidth, dd->modeHeight))
            return RESULT_FAILED;
    }
    return CoreRestore(surface);
}

Result SurfaceGetDesc(Surface* surface, SurfaceDesc* desc) { return CoreGetDesc(surface, desc); }

void SurfaceRelease(Surface* surface) { CoreRelease(surface); }
