/* xdnd_drop.c - an X drag source for the black-box tests: drags files onto
 * a window by the XDND protocol, the way a file manager's drag ends, without
 * moving the pointer.
 *
 *     xdnd_drop [--action copy|move|link] WINDOW X Y FILE...
 *
 * WINDOW is the X window (decimal or 0x hex) that takes the drag, X and Y a
 * root position over it, each FILE an absolute Unix path. The source offers
 * the files as text/uri-list, moves to the position once, and drops there if
 * the target accepts; otherwise it leaves. Prints "accepted ACTION" or
 * "refused", then "finished" (the target has handled the drop) or "left".
 * Exit status 0 when the exchange completed, 1 on a timeout or X error,
 * 2 on bad usage.
 */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static Display *dpy;
static Window source, target;
static Atom aAware, aEnter, aPosition, aStatus, aDrop, aFinished, aLeave, aSelection, aUriList, aTargets;
static char *uris;

static void send_message(Atom type, long l1, long l2, long l3, long l4)
{
    XEvent e;
    memset(&e, 0, sizeof e);
    e.xclient.type = ClientMessage;
    e.xclient.display = dpy;
    e.xclient.window = target;
    e.xclient.message_type = type;
    e.xclient.format = 32;
    e.xclient.data.l[0] = (long)source;
    e.xclient.data.l[1] = l1;
    e.xclient.data.l[2] = l2;
    e.xclient.data.l[3] = l3;
    e.xclient.data.l[4] = l4;
    XSendEvent(dpy, target, False, NoEventMask, &e);
    XFlush(dpy);
}

/* The target fetches the file list through the XdndSelection. */
static void answer_request(XSelectionRequestEvent *request)
{
    XEvent reply;
    memset(&reply, 0, sizeof reply);
    reply.xselection.type = SelectionNotify;
    reply.xselection.display = dpy;
    reply.xselection.requestor = request->requestor;
    reply.xselection.selection = request->selection;
    reply.xselection.target = request->target;
    reply.xselection.time = request->time;
    reply.xselection.property = None;
    Atom property = request->property != None ? request->property : request->target;
    if (request->selection == aSelection && request->target == aUriList) {
        XChangeProperty(dpy, request->requestor, property, aUriList, 8, PropModeReplace, (unsigned char *)uris,
                        (int)strlen(uris));
        reply.xselection.property = property;
    } else if (request->selection == aSelection && request->target == aTargets) {
        Atom offered[2] = {aTargets, aUriList};
        XChangeProperty(dpy, request->requestor, property, XA_ATOM, 32, PropModeReplace, (unsigned char *)offered, 2);
        reply.xselection.property = property;
    }
    XSendEvent(dpy, request->requestor, False, NoEventMask, &reply);
    XFlush(dpy);
}

static long now_ms(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000L + t.tv_nsec / 1000000L;
}

/* Serves selection requests until a client message of the type arrives. */
static int wait_for(Atom type, XClientMessageEvent *out, long limit_ms)
{
    long end = now_ms() + limit_ms;
    for (;;) {
        while (XPending(dpy)) {
            XEvent e;
            XNextEvent(dpy, &e);
            if (e.type == SelectionRequest)
                answer_request(&e.xselectionrequest);
            else if (e.type == ClientMessage && e.xclient.message_type == type) {
                *out = e.xclient;
                return 1;
            }
        }
        long left = end - now_ms();
        if (left <= 0)
            return 0;
        struct pollfd fd = {ConnectionNumber(dpy), POLLIN, 0};
        poll(&fd, 1, (int)(left < 100 ? left : 100));
    }
}

static int on_x_error(Display *d, XErrorEvent *error)
{
    char text[128];
    XGetErrorText(d, error->error_code, text, sizeof text);
    fprintf(stderr, "xdnd_drop: X error: %s\n", text);
    exit(1);
}

int main(int argc, char **argv)
{
    const char *action_name = "copy";
    int arg = 1;
    if (argc > 2 && strcmp(argv[1], "--action") == 0) {
        action_name = argv[2];
        arg = 3;
    }
    if (argc - arg < 4) {
        fprintf(stderr, "usage: xdnd_drop [--action copy|move|link] WINDOW X Y FILE...\n");
        return 2;
    }
    dpy = XOpenDisplay(NULL);
    if (dpy == NULL) {
        fprintf(stderr, "xdnd_drop: no display\n");
        return 1;
    }
    XSetErrorHandler(on_x_error);
    target = (Window)strtoul(argv[arg], NULL, 0);
    long x = strtol(argv[arg + 1], NULL, 10), y = strtol(argv[arg + 2], NULL, 10);

    aAware = XInternAtom(dpy, "XdndAware", False);
    aEnter = XInternAtom(dpy, "XdndEnter", False);
    aPosition = XInternAtom(dpy, "XdndPosition", False);
    aStatus = XInternAtom(dpy, "XdndStatus", False);
    aDrop = XInternAtom(dpy, "XdndDrop", False);
    aFinished = XInternAtom(dpy, "XdndFinished", False);
    aLeave = XInternAtom(dpy, "XdndLeave", False);
    aSelection = XInternAtom(dpy, "XdndSelection", False);
    aUriList = XInternAtom(dpy, "text/uri-list", False);
    aTargets = XInternAtom(dpy, "TARGETS", False);
    char action_atom[32];
    snprintf(action_atom, sizeof action_atom, "XdndAction%c%s", action_name[0] - 32, action_name + 1);
    Atom action = XInternAtom(dpy, action_atom, False);

    /* The target must speak XDND; its version bounds ours (5). */
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char *value = NULL;
    long version = 0;
    if (XGetWindowProperty(dpy, target, aAware, 0, 1, False, XA_ATOM, &type, &format, &count, &after, &value) ==
            Success &&
        value != NULL && count == 1)
        version = (long)*(Atom *)value;
    if (value != NULL)
        XFree(value);
    if (version < 3) {
        fprintf(stderr, "xdnd_drop: window %s is not XdndAware\n", argv[arg]);
        return 1;
    }
    if (version > 5)
        version = 5;

    size_t size = 1;
    for (int i = arg + 3; i < argc; ++i)
        size += strlen(argv[i]) + 9;
    uris = calloc(size, 1);
    for (int i = arg + 3; i < argc; ++i) {
        strcat(uris, "file://");
        strcat(uris, argv[i]);
        strcat(uris, "\r\n");
    }

    source = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(dpy, aSelection, source, CurrentTime);
    send_message(aEnter, version << 24, (long)aUriList, 0, 0);
    send_message(aPosition, 0, (x << 16) | (y & 0xFFFF), CurrentTime, (long)action);

    XClientMessageEvent reply;
    if (!wait_for(aStatus, &reply, 10000)) {
        fprintf(stderr, "xdnd_drop: no XdndStatus\n");
        return 1;
    }
    if ((reply.data.l[1] & 1) == 0) {
        puts("refused");
        fflush(stdout);
        send_message(aLeave, 0, 0, 0, 0);
        puts("left");
        XCloseDisplay(dpy);
        return 0;
    }
    char *name = reply.data.l[4] != None ? XGetAtomName(dpy, (Atom)reply.data.l[4]) : NULL;
    printf("accepted %s\n", name != NULL && strncmp(name, "XdndAction", 10) == 0 ? name + 10 : "?");
    fflush(stdout);
    if (name != NULL)
        XFree(name);

    /* The open runs inside the drop, message boxes included: allow for them. */
    send_message(aDrop, 0, CurrentTime, 0, 0);
    if (!wait_for(aFinished, &reply, 60000)) {
        fprintf(stderr, "xdnd_drop: no XdndFinished\n");
        return 1;
    }
    puts("finished");
    XCloseDisplay(dpy);
    return 0;
}
