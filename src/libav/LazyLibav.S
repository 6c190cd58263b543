// Entry points named like libav's functions. Each jumps through its slot; an empty slot goes to
// lumora_libav_bind, which loads libav, fills the slot and continues into the real function with the
// caller's arguments untouched, so no caller knows it was bound late.

#include "LazySymbols.h"

    .section .note.GNU-stack, "", @progbits

#define LUMORA_COUNT(name) +1
    .bss
    .p2align 3
    .globl lumora_libav_slots
    .hidden lumora_libav_slots
lumora_libav_slots:
    .zero 8 * (0 LUMORA_LIBAV_FUNCTIONS(LUMORA_COUNT))

    .text
.macro lazy name, index
    .globl \name
    .hidden \name
    .type \name, @function
    .p2align 4
\name:
    .cfi_startproc
    movq lumora_libav_slots + 8 * \index(%rip), %r11
    testq %r11, %r11
    jz 1f
    jmp *%r11
1:  movl $\index, %r11d
    jmp lumora_libav_bind
    .cfi_endproc
    .size \name, . - \name
.endm

#define LUMORA_ENTRY(name) lazy name, __COUNTER__;
LUMORA_LIBAV_FUNCTIONS(LUMORA_ENTRY)

// Saves every register that may carry an argument (rax: the vector-register count of a variadic call),
// asks lumora_libav_resolve for the function and jumps to it. Entered with the stack as at a function's
// start (8 mod 16); seven pushes and 128 bytes leave it 16-aligned for the call.
    .p2align 4
    .type lumora_libav_bind, @function
lumora_libav_bind:
    .cfi_startproc
    pushq %rdi
    pushq %rsi
    pushq %rdx
    pushq %rcx
    pushq %r8
    pushq %r9
    pushq %rax
    subq $128, %rsp
    .cfi_adjust_cfa_offset 184
    movdqu %xmm0, 0(%rsp)
    movdqu %xmm1, 16(%rsp)
    movdqu %xmm2, 32(%rsp)
    movdqu %xmm3, 48(%rsp)
    movdqu %xmm4, 64(%rsp)
    movdqu %xmm5, 80(%rsp)
    movdqu %xmm6, 96(%rsp)
    movdqu %xmm7, 112(%rsp)
    movl %r11d, %edi
    call lumora_libav_resolve
    movq %rax, %r11
    movdqu 0(%rsp), %xmm0
    movdqu 16(%rsp), %xmm1
    movdqu 32(%rsp), %xmm2
    movdqu 48(%rsp), %xmm3
    movdqu 64(%rsp), %xmm4
    movdqu 80(%rsp), %xmm5
    movdqu 96(%rsp), %xmm6
    movdqu 112(%rsp), %xmm7
    addq $128, %rsp
    popq %rax
    popq %r9
    popq %r8
    popq %rcx
    popq %rdx
    popq %rsi
    popq %rdi
    .cfi_adjust_cfa_offset -184
    jmp *%r11
    .cfi_endproc
    .size lumora_libav_bind, . - lumora_libav_bind
