/* Virtual game controllers for the real-stack tests, preloaded into Wine's services.
 *
 * Wine's HID bus driver opens libSDL2 with dlopen and turns every SDL joystick into a
 * controller that DirectInput lists. SDL's virtual joysticks are seen only by the
 * process that attaches them, so this library waits in every process for libSDL2 to
 * be opened; in the one that opens it (the device host), once the bus driver has
 * started SDL's joystick subsystem, it attaches VIRTUAL_PADS joysticks (0 or more) and
 * applies the commands written to the FIFO named by VIRTUAL_PADS_CHANNEL, one a line:
 *   press PAD BUTTON | release PAD BUTTON | axis PAD AXIS VALUE | unplug PAD
 *   plug [PRODUCT] | replug PAD [elsewhere]
 * Pads and buttons count from 1 and 0; axis 0 is X, 1 is Y, values -32768..32767.
 * Pad n has product id PAD_PRODUCT_BASE + n: DirectInput lists controllers by vendor
 * and product id, so controller n is pad n. "plug" attaches the next pad, with the
 * next product id or the one given (hexadecimal, as 5100). Every pad has a fixed
 * serial, so "replug" brings an unplugged pad back with its identity and device path;
 * "replug PAD elsewhere" brings it back without one: Wine then makes a serial up from
 * SDL's device index, and the pad returns under another path. Every other process is
 * left alone, and a missing or broken channel only means that no command arrives. */
#define _GNU_SOURCE
#include <SDL.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

enum { MAX_PADS = 32, PAD_BUTTONS = 16, PAD_AXES = 2 };
/* An identity of our own; Wine remembers a device's driver by it, so never reuse
 * these ids with another layout. */
static const Uint16 PAD_VENDOR = 0x1209;
static const Uint16 PAD_PRODUCT_BASE = 0x5100;

struct SdlCalls {
    Uint32 (*WasInit)(Uint32);
    int (*AttachVirtualEx)(const SDL_VirtualJoystickDesc*);
    int (*DetachVirtual)(int);
    SDL_Joystick* (*Open)(int);
    void (*Close)(SDL_Joystick*);
    SDL_JoystickID (*InstanceId)(SDL_Joystick*);
    SDL_JoystickID (*DeviceInstanceId)(int);
    int (*NumJoysticks)(void);
    int (*SetButton)(SDL_Joystick*, int, Uint8);
    int (*SetAxis)(SDL_Joystick*, int, Sint16);
    Uint16 (*GetProduct)(SDL_Joystick*);
    const char* (*GetSerial)(SDL_Joystick*);
};

struct Pad {
    SDL_Joystick* joystick;  /* NULL while unplugged */
    Uint16 product;
    int fixedSerial;         /* 0: Wine makes one up from SDL's device index */
    char serial[16];
};

static struct SdlCalls sdl;
static struct Pad pads[MAX_PADS + 1];  /* pad n is pads[n] */
static int padCount;                   /* pads ever plugged */
static pthread_mutex_t padsLock = PTHREAD_MUTEX_INITIALIZER;
static pthread_once_t started = PTHREAD_ONCE_INIT;
static void* sdlHandle;
static int active;
static int initialPads;

static void Note(const char* format, const char* detail) {
    const char* channel = getenv("VIRTUAL_PADS_CHANNEL");
    if (!channel) return;
    char path[4096];
    snprintf(path, sizeof path, "%s.log", channel);
    FILE* log = fopen(path, "a");
    if (!log) return;
    fprintf(log, format, detail);
    fputc('\n', log);
    fclose(log);
}

/* The libc dlsym, past the one this library puts in front of it. */
static void* RealDlsym(void* handle, const char* name) {
    static void* (*real)(void*, const char*);
    if (!real) real = (void* (*)(void*, const char*))dlvsym(RTLD_NEXT, "dlsym", "GLIBC_2.34");
    if (!real) real = (void* (*)(void*, const char*))dlvsym(RTLD_NEXT, "dlsym", "GLIBC_2.2.5");
    return real ? real(handle, name) : NULL;
}

static int LoadCalls(void* handle) {
    void** slots[] = {(void**)&sdl.WasInit, (void**)&sdl.AttachVirtualEx, (void**)&sdl.DetachVirtual,
                      (void**)&sdl.Open, (void**)&sdl.Close, (void**)&sdl.InstanceId,
                      (void**)&sdl.DeviceInstanceId, (void**)&sdl.NumJoysticks, (void**)&sdl.SetButton,
                      (void**)&sdl.SetAxis, (void**)&sdl.GetProduct, (void**)&sdl.GetSerial};
    const char* names[] = {"SDL_WasInit", "SDL_JoystickAttachVirtualEx", "SDL_JoystickDetachVirtual",
                           "SDL_JoystickOpen", "SDL_JoystickClose", "SDL_JoystickInstanceID",
                           "SDL_JoystickGetDeviceInstanceID", "SDL_NumJoysticks",
                           "SDL_JoystickSetVirtualButton", "SDL_JoystickSetVirtualAxis",
                           "SDL_JoystickGetProduct", "SDL_JoystickGetSerial"};
    for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i) {
        *slots[i] = RealDlsym(handle, names[i]);
        if (!*slots[i]) {
            Note("missing %s", names[i]);
            return 0;
        }
    }
    return 1;
}

/* What the bus driver gets for SDL_JoystickGetSerial: SDL's virtual joysticks have
 * none, and a serial made up from the device index would change when pads come and go. */
static const char* PadSerial(SDL_Joystick* joystick) {
    Uint16 product = sdl.GetProduct(joystick);
    const char* serial = NULL;
    pthread_mutex_lock(&padsLock);
    for (int n = 1; n <= padCount && !serial; ++n) {
        if (pads[n].product == product && pads[n].fixedSerial) serial = pads[n].serial;
    }
    pthread_mutex_unlock(&padsLock);
    return serial ? serial : sdl.GetSerial(joystick);
}

/* Attaches pad n as it is described in pads[n]. */
static void Plug(int n) {
    char name[32];
    snprintf(name, sizeof name, "Virtual pad %d", n);
    SDL_VirtualJoystickDesc desc;
    memset(&desc, 0, sizeof desc);
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_UNKNOWN;  /* a plain joystick: buttons keep their numbers */
    desc.naxes = PAD_AXES;
    desc.nbuttons = PAD_BUTTONS;
    desc.vendor_id = PAD_VENDOR;
    desc.product_id = pads[n].product;
    desc.name = name;
    int index = sdl.AttachVirtualEx(&desc);
    pads[n].joystick = index < 0 ? NULL : sdl.Open(index);
    if (!pads[n].joystick) Note("pad %s not attached", name);
}

/* A new pad, the next one: product id `product`, or the next of our own when 0. */
static void PlugNew(unsigned product) {
    if (padCount == MAX_PADS) {
        Note("%s", "no room for another pad");
        return;
    }
    int n = padCount + 1;
    pthread_mutex_lock(&padsLock);
    pads[n].product = (Uint16)(product ? product : PAD_PRODUCT_BASE + (unsigned)n);
    pads[n].fixedSerial = 1;
    snprintf(pads[n].serial, sizeof pads[n].serial, "pad%d", n);
    padCount = n;
    pthread_mutex_unlock(&padsLock);
    Plug(n);
}

static void Replug(int n, int elsewhere) {
    pthread_mutex_lock(&padsLock);
    pads[n].fixedSerial = !elsewhere;
    pthread_mutex_unlock(&padsLock);
    Plug(n);
}

static void Unplug(int n) {
    SDL_JoystickID id = sdl.InstanceId(pads[n].joystick);
    for (int index = 0; index < sdl.NumJoysticks(); ++index) {
        if (sdl.DeviceInstanceId(index) == id) {
            sdl.DetachVirtual(index);
            break;
        }
    }
    sdl.Close(pads[n].joystick);
    pads[n].joystick = NULL;
}

/* Applies one command; says whether it was one. */
static int Apply(const char* line) {
    int pad = 0, what = 0, value = 0;
    unsigned product = 0;
    char verb[16], word[16];
    int fields = sscanf(line, "%15s %d %d %d", verb, &pad, &what, &value);
    if (fields < 1) return 0;
    if (strcmp(verb, "plug") == 0) {
        if (fields > 1 && (sscanf(line, "%*s %x", &product) != 1 || product == 0 || product > 0xFFFF)) return 0;
        PlugNew(product);
        return 1;
    }
    if (fields < 2 || pad < 1 || pad > padCount) return 0;
    if (strcmp(verb, "replug") == 0) {
        int words = sscanf(line, "%*s %*d %15s", word);
        if (pads[pad].joystick || (words == 1 && strcmp(word, "elsewhere") != 0)) return 0;
        Replug(pad, words == 1);
        return 1;
    }
    SDL_Joystick* joystick = pads[pad].joystick;
    if (!joystick) return 0;
    if (strcmp(verb, "press") == 0 && fields == 3) return sdl.SetButton(joystick, what, 1) == 0;
    if (strcmp(verb, "release") == 0 && fields == 3) return sdl.SetButton(joystick, what, 0) == 0;
    if (strcmp(verb, "axis") == 0 && fields == 4 && value >= -32768 && value <= 32767) {
        return sdl.SetAxis(joystick, what, (Sint16)value) == 0;
    }
    if (strcmp(verb, "unplug") == 0 && fields == 2) {
        Unplug(pad);
        return 1;
    }
    return 0;
}

static void* Run(void* unused) {
    (void)unused;
    /* The bus driver starts SDL's joystick subsystem soon after opening the library. */
    struct timespec pause = {0, 10 * 1000 * 1000};
    for (int i = 0; i < 3000 && !sdl.WasInit(SDL_INIT_JOYSTICK); ++i) nanosleep(&pause, NULL);
    if (!sdl.WasInit(SDL_INIT_JOYSTICK)) {
        Note("%s", "SDL joysticks never started");
        return NULL;
    }
    for (int n = 0; n < initialPads; ++n) PlugNew(0);
    Note("attached %s", getenv("VIRTUAL_PADS"));

    const char* channel = getenv("VIRTUAL_PADS_CHANNEL");
    if (!channel) return NULL;
    mkfifo(channel, 0600);
    /* Read and write, so the FIFO never reads as ended between writers. */
    int fd = open(channel, O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        Note("no channel %s", channel);
        return NULL;
    }
    char line[256];
    size_t length = 0;
    for (;;) {
        char c;
        ssize_t got = read(fd, &c, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        if (c == '\n') {
            line[length] = '\0';
            if (length > 0 && !Apply(line)) Note("ignored: %s", line);
            length = 0;
        } else if (length + 1 < sizeof line) {
            line[length++] = c;
        }
    }
    close(fd);
    return NULL;
}

static void Start(void) {
    const char* count = getenv("VIRTUAL_PADS");
    if (!count) return;
    initialPads = atoi(count);
    if (initialPads < 0 || initialPads > MAX_PADS || !LoadCalls(sdlHandle)) return;
    active = 1;
    pthread_t thread;
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (pthread_create(&thread, &attributes, Run, NULL) != 0) Note("%s", "no thread");
    pthread_attr_destroy(&attributes);
}

/* Every dlopen of the process passes here; only the first one of libSDL2 acts. */
void* dlopen(const char* file, int mode) {
    static void* (*realDlopen)(const char*, int);
    if (!realDlopen) realDlopen = (void* (*)(const char*, int))RealDlsym(RTLD_NEXT, "dlopen");
    void* handle = realDlopen(file, mode);
    if (handle && file && strstr(file, "libSDL2")) {
        if (!sdlHandle) sdlHandle = handle;
        pthread_once(&started, Start);
    }
    return handle;
}

/* The bus driver looks SDL's functions up in the library it opened; the serial is ours. */
void* dlsym(void* handle, const char* name) {
    if (active && handle && handle == sdlHandle && strcmp(name, "SDL_JoystickGetSerial") == 0) {
        return (void*)PadSerial;
    }
    return RealDlsym(handle, name);
}
