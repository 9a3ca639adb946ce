// The ball pictures of the X11 display mode: read with libpng, premultiplied, and their thumbnails.
