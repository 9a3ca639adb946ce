// Shared XImages of the X11 display mode: the set-up of an image in a MIT-SHM segment and the
// clean creation and removal of its segment.
#include "saver/shared_image_x11.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/socket.h>

#include <cstring>

#include "saver/error_trap_x11.h"
#include "saver/pages_linux.h"

int hostByteOrder()
{
    const uint32_t one = 1;
    unsigned char first;
    std::memcpy(&first, &one, 1);
    return first == 1 ? LSBFirst : MSBFirst;
}

bool canShareImages(Display* display)
{
    if (!XShmQueryExtension(display)) return false;
    sockaddr_storage address;
    socklen_t length = sizeof address;
    if (getsockname(ConnectionNumber(display), reinterpret_cast<sockaddr*>(&address), &length) != 0) return false;
    return address.ss_family == AF_UNIX && ImageByteOrder(display) == hostByteOrder();
}

bool makeSharedImage(Display* display, Visual* visual, unsigned depth, int32_t width, int32_t height,
                     SharedImage& shared)
{
    shared = SharedImage{};
    shared.segment.shmid = -1;
    XImage* image = XShmCreateImage(display, visual, depth, ZPixmap, nullptr, &shared.segment,
                                    static_cast<unsigned>(width), static_cast<unsigned>(height));
    if (image == nullptr) return false;
    if (image->bits_per_pixel != 32) {
        XDestroyImage(image);
        return false;
    }
    const size_t bytes = static_cast<size_t>(image->bytes_per_line) * static_cast<size_t>(height);
    shared.segment.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (shared.segment.shmid < 0) {
        XDestroyImage(image);
        shared = SharedImage{};
        return false;
    }
    void* address = shmat(shared.segment.shmid, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) {
        shmctl(shared.segment.shmid, IPC_RMID, nullptr);
        XDestroyImage(image);
        shared = SharedImage{};
        return false;
    }
    populatePages(address, bytes);
    shared.segment.shmaddr = image->data = static_cast<char*>(address);
    shared.segment.readOnly = False;
    removeSegmentOnConnectionLoss(shared.segment.shmid);
    beginTrap(display);
    const Bool attached = XShmAttach(display, &shared.segment);
    const bool failed = endTrap(display) != 0 || !attached;
    // Both sides have it now (or the server never will): nothing is left behind at any end.
    shmctl(shared.segment.shmid, IPC_RMID, nullptr);
    removeSegmentOnConnectionLoss(-1);
    if (failed) {
        XDestroyImage(image);  // frees the XImage only; data is the segment
        shmdt(address);
        shared = SharedImage{};
        return false;
    }
    shared.image = image;
    shared.bytes = bytes;
    return true;
}

void releaseSharedImage(Display* display, SharedImage& shared)
{
    if (shared.image != nullptr) {
        XShmDetach(display, &shared.segment);
        XDestroyImage(shared.image);  // frees the XImage only; data is the segment
        shmdt(shared.segment.shmaddr);
    }
    shared = SharedImage{};
}
