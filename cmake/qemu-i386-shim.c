/* Preloaded into Wine's 32-bit processes when they run under qemu-user, on x86-64
   kernels that run 64-bit user code only ("IA-32 emulation off": an i386 execve
   fails with ENOEXEC, so binfmt_misc hands i386 programs to qemu-i386-static).
   qemu-user 7.2 has three faults that Wine trips over; each block below works
   around one of them:

   1. MAP_FIXED_NOREPLACE is taken as a plain hint, so a mapping lands elsewhere.
      Wine's address-space reservation then splits the space into ever smaller
      pieces (about 131,000 mmap calls): 50-150 s before each 32-bit process starts.
      Here such a call fails with EEXIST unless it landed where it was asked to.
   2. The trap number in the i386 signal frame is left at -1, so Wine reports every
      fault (access violation, IsBadReadPtr, a stack guard page) as an illegal
      instruction. Wine's handlers are wrapped and given the trap number and error code.
   3. One descriptor table for the whole process: each thread's TLS segment (glibc's
      %gs, Wine's %fs) is overwritten by the last thread that set it, so a process
      with a second thread corrupts its TLS and crashes. Every thread gets entries
      of its own in the local descriptor table.

   A Linux i386 library with no C library of its own:
     gcc -m32 -O2 -fPIC -shared -nostdlib -o lib/i386-linux-gnu/libgt3qemu.so qemu-i386-shim.c
   An empty x86-64 twin sits beside it, so that LD_PRELOAD with a literal $LIB loads
   silently into Wine's 64-bit processes too. cmake/wine-env.sh builds both. */

/* Fault 1: MAP_FIXED_NOREPLACE without MAP_FIXED must fail with EEXIST rather than map elsewhere. */
#define MAP_FIXED_ 0x10
#define MAP_FIXED_NOREPLACE_ 0x100000
#define EEXIST_ 17
#define MAP_FAILED_ ((void *)-1)
#define RTLD_NEXT_ ((void *)-1)
typedef unsigned int size_t_;
typedef long long off64_;
extern int *__errno_location(void);
extern void *dlsym(void *, const char *);
extern char *getenv(const char *);
typedef void *(*mmap64_fn)(void *, size_t_, int, int, int, off64_);
typedef void *(*mmap_fn)(void *, size_t_, int, int, int, long);
typedef int (*munmap_fn)(void *, size_t_);
static mmap64_fn real_mmap64; static mmap_fn real_mmap; static munmap_fn real_munmap;

static void *fix(void *addr, size_t_ len, void *r)
{
    if (r == MAP_FAILED_ || r == addr) return r;
    if (!real_munmap) real_munmap = (munmap_fn)dlsym(RTLD_NEXT_, "munmap");
    real_munmap(r, len);
    *__errno_location() = EEXIST_;
    return MAP_FAILED_;
}
void *mmap64(void *addr, size_t_ len, int prot, int flags, int fd, off64_ off)
{
    if (!real_mmap64) real_mmap64 = (mmap64_fn)dlsym(RTLD_NEXT_, "mmap64");
    if ((flags & MAP_FIXED_NOREPLACE_) && !(flags & MAP_FIXED_))
        return fix(addr, len, real_mmap64(addr, len, prot, flags & ~MAP_FIXED_NOREPLACE_, fd, off));
    return real_mmap64(addr, len, prot, flags, fd, off);
}
void *mmap(void *addr, size_t_ len, int prot, int flags, int fd, long off)
{
    if (!real_mmap) real_mmap = (mmap_fn)dlsym(RTLD_NEXT_, "mmap");
    if ((flags & MAP_FIXED_NOREPLACE_) && !(flags & MAP_FIXED_))
        return fix(addr, len, real_mmap(addr, len, prot, flags & ~MAP_FIXED_NOREPLACE_, fd, off));
    return real_mmap(addr, len, prot, flags, fd, off);
}

/* Fault 2: qemu-user 7.2 leaves uc_mcontext.gregs[REG_TRAPNO] at -1 (REG_ERR unset) in the i386 guest signal
   frame; Wine's i386 segv/ill/trap handlers switch on the trap number and report every fault as
   "unexpected trap -1" -> EXCEPTION_ILLEGAL_INSTRUCTION. Wrap Wine's handlers and fill them in. */
#define SIGILL_ 4
#define SIGTRAP_ 5
#define SIGBUS_ 7
#define SIGFPE_ 8
#define SIGSEGV_ 11
#define SA_SIGINFO_ 4
#define SI_KERNEL_ 0x80
#define SEGV_ACCERR_ 2
struct ksa { void *handler; unsigned int mask[32]; int flags; void *restorer; };  /* glibc i386 struct sigaction */
typedef int (*sigaction_fn)(int, const struct ksa *, struct ksa *);
typedef void (*sa3_fn)(int, void *, void *);
static sigaction_fn real_sigaction;
static sa3_fn saved_handler[65];

static void trap_fix_tramp(int sig, void *si, void *uc)
{
    int code = ((int *)si)[2];                    /* siginfo.si_code */
    int *gregs = (int *)((char *)uc + 20);        /* ucontext: flags, link, stack[3], then gregs[19] */
    if ((unsigned int)gregs[12] > 31 || (gregs[12] == 0 && sig != SIGFPE_))  /* REG_TRAPNO = 12, REG_ERR = 13; qemu 7.2 leaves -1 */
    {
        switch (sig)
        {
        case SIGSEGV_:
            if (code == SI_KERNEL_) { gregs[12] = 13; gregs[13] = 0; }          /* general protection */
            else { gregs[12] = 14; gregs[13] = 4 | (code == SEGV_ACCERR_ ? 2 : 0); } /* page fault */
            break;
        case SIGBUS_:  gregs[12] = 17; break;                                    /* alignment check */
        case SIGILL_:  gregs[12] = 6; break;                                     /* invalid opcode */
        case SIGTRAP_: gregs[12] = (code == 2 /*TRAP_TRACE*/) ? 1 : 3; break;
        case SIGFPE_:  gregs[12] = (code == 1 /*FPE_INTDIV*/) ? 0 : (code == 2 /*FPE_INTOVF*/) ? 4 : 16; break;
        }
    }
    saved_handler[sig](sig, si, uc);
}

int sigaction(int sig, const struct ksa *act, struct ksa *oact)
{
    struct ksa local;
    sa3_fn prev = (sig > 0 && sig < 65) ? saved_handler[sig] : 0;
    int ret;
    if (!real_sigaction) real_sigaction = (sigaction_fn)dlsym(RTLD_NEXT_, "sigaction");
    if (act && (sig == SIGSEGV_ || sig == SIGILL_ || sig == SIGBUS_ || sig == SIGFPE_ || sig == SIGTRAP_) &&
        (act->flags & SA_SIGINFO_) && (unsigned long)act->handler > 1)
    {
        local = *act;
        saved_handler[sig] = (sa3_fn)act->handler;
        local.handler = (void *)trap_fix_tramp;
        act = &local;
    }
    ret = real_sigaction(sig, act, oact);
    if (!ret && oact && oact->handler == (void *)trap_fix_tramp && prev) oact->handler = (void *)prev;
    return ret;
}

/* Fault 3: qemu-user 7.2 keeps ONE GDT per process, so the per-thread TLS entries that glibc (%gs, via
   clone(CLONE_SETTLS)) and Wine (%fs = TEB, via set_thread_area) use are overwritten by the last thread
   that set them; the next segment reload (Wine reloads %fs/%gs on every syscall return and in signal
   handlers) then gives the thread another thread's TLS/TEB -> corrupted errno/malloc tcache, crashes.
   Fix: (a) make Wine's set_thread_area(entry -1) fail so Wine uses its per-thread LDT selectors for %fs;
   (b) give every thread its own LDT selector for %gs (allocated from the top of the LDT, Wine allocates
   from the bottom) in a constructor (main thread) and in a pthread_create start wrapper. */
#define ENOSYS_ 38
#define NR_modify_ldt_ 123
#define NR_set_thread_area_ 243
typedef long (*syscall_fn)(long, long, long, long, long, long, long);
static syscall_fn real_syscall;
long syscall(long n, long a1, long a2, long a3, long a4, long a5, long a6)
{
    if (!real_syscall) real_syscall = (syscall_fn)dlsym(RTLD_NEXT_, "syscall");
    if (n == NR_set_thread_area_ && a1 && *(int *)a1 == -1 && !getenv("SHIM_NO_FS")) { *__errno_location() = ENOSYS_; return -1; }
    return real_syscall(n, a1, a2, a3, a4, a5, a6);
}
struct user_desc_ { unsigned int entry_number, base_addr, limit, flags; };
static int next_ldt_idx = 8191;
static int raw_modify_ldt(int func, void *ptr, unsigned int count)
{
    int ret;
    __asm__ volatile("pushl %%ebx\n\tmovl %2, %%ebx\n\tint $0x80\n\tpopl %%ebx"
                     : "=a"(ret) : "0"(NR_modify_ldt_), "r"(func), "c"(ptr), "d"(count) : "memory");
    return ret;
}
static unsigned short orig_gs_sel;
static volatile int create_lock;
static int raw_set_thread_area(void *ptr)
{
    int ret;
    __asm__ volatile("pushl %%ebx\n\tmovl %2, %%ebx\n\tint $0x80\n\tpopl %%ebx"
                     : "=a"(ret) : "0"(NR_set_thread_area_), "r"(ptr) : "memory");
    return ret;
}
static void gs_to_private_ldt(void)
{
    struct user_desc_ d; unsigned int base; unsigned short sel;
    int idx;
    if (getenv("SHIM_NO_GS")) return;
    if (!orig_gs_sel) __asm__ volatile("movw %%gs, %0" : "=r"(orig_gs_sel));
    idx = __sync_fetch_and_sub(&next_ldt_idx, 1);
    if (idx < 4096) return;                        /* leave the rest of the LDT to Wine */
    __asm__ volatile("movl %%gs:0, %0" : "=r"(base));   /* glibc i386 TCB self pointer */
    d.entry_number = idx; d.base_addr = base; d.limit = 0xfffff;
    d.flags = 1 /*seg_32bit*/ | (1 << 4) /*limit_in_pages*/ | (1 << 6) /*useable*/;
    if (raw_modify_ldt(0x11, &d, sizeof(d)) != 0) return;
    sel = (unsigned short)((idx << 3) | 7);
    __asm__ volatile("movw %0, %%gs" :: "r"(sel));
}
__attribute__((constructor)) static void shim_init(void) { gs_to_private_ldt(); }

extern void *malloc(size_t_);
extern void free(void *);
struct start_info { void *(*fn)(void *); void *arg; };
typedef int (*pthread_create_fn)(void *, const void *, void *(*)(void *), void *);
static pthread_create_fn real_pthread_create;
static void *start_wrapper(void *p)
{
    struct start_info si = *(struct start_info *)p;
    gs_to_private_ldt();
    free(p);
    return si.fn(si.arg);
}
int pthread_create(void *th, const void *attr, void *(*fn)(void *), void *arg)
{
    struct start_info *si = malloc(sizeof(*si));
    if (!real_pthread_create) real_pthread_create = (pthread_create_fn)dlsym(RTLD_NEXT_, "pthread_create");
    if (!si) return real_pthread_create(th, attr, fn, arg);
    si->fn = fn; si->arg = arg;
    if (orig_gs_sel)
    {
        /* the child's %gs is loaded from the parent's selector at clone time: hand it the GDT one,
           after pointing that (process-wide) GDT entry at our own TLS so we stay correct meanwhile */
        struct user_desc_ d; unsigned int base; unsigned short mysel; int ret;
        while (__sync_lock_test_and_set(&create_lock, 1)) ;
        __asm__ volatile("movw %%gs, %0" : "=r"(mysel));
        __asm__ volatile("movl %%gs:0, %0" : "=r"(base));
        d.entry_number = orig_gs_sel >> 3; d.base_addr = base; d.limit = 0xfffff;
        d.flags = 1 | (1 << 4) | (1 << 6);
        raw_set_thread_area(&d);
        __asm__ volatile("movw %0, %%gs" :: "r"(orig_gs_sel));
        ret = real_pthread_create(th, attr, start_wrapper, si);
        __asm__ volatile("movw %0, %%gs" :: "r"(mysel));
        __sync_lock_release(&create_lock);
        return ret;
    }
    return real_pthread_create(th, attr, start_wrapper, si);
}
