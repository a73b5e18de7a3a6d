// The page's canvas: its drawing buffer for a displayed size in device
// pixels, within what the GPU takes, as the browser gives it.
#include "platform/gl.h"
#include "platform/web/web.h"

#include <emscripten/html5.h>
#include <math.h>

void WebSizeCanvas(int32_t width, int32_t height, int32_t pictureWidth, int32_t pictureHeight,
                   int32_t pictureMaxHeight, int32_t* givenWidth, int32_t* givenHeight)
{
    width = width < 1 ? 1 : width;
    height = height < 1 ? 1 : height;
    // What the GPU takes: the canvas within its viewport, the picture within
    // a texture. A larger canvas is drawn smaller and stretched by the page.
    GLint dims[2] = {0, 0}, texture = 0, renderbuffer = 0;
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, dims);
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &texture);
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
    double k = 1.0;
    if (pictureHeight > pictureMaxHeight)
        k = (double)pictureMaxHeight / pictureHeight;
    if (dims[0] > 0 && dims[1] > 0)
        k = fmin(k, fmin((double)dims[0] / width, (double)dims[1] / height));
    if (renderbuffer > 0)
        k = fmin(k, fmin((double)renderbuffer / width, (double)renderbuffer / height));
    if (texture > 0)
        k = fmin(k, fmin((double)texture / pictureWidth, (double)texture / pictureHeight));
    if (k < 1.0) {
        width = (int32_t)(width * k);
        height = (int32_t)(height * k);
        width = width < 1 ? 1 : width;
        height = height < 1 ? 1 : height;
    }
    emscripten_set_canvas_element_size("#canvas", width, height);
    // The browser may give a smaller drawing buffer than asked for.
    int given[2] = {width, height};
    emscripten_webgl_get_drawing_buffer_size(emscripten_webgl_get_current_context(), &given[0], &given[1]);
    *givenWidth = given[0] > 0 ? given[0] : width;
    *givenHeight = given[1] > 0 ? given[1] : height;
}
