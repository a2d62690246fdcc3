/*
 * Blinks an LED on P1.0 of an AT89S53: half a second on, half a second off.
 *
 * Wiring: VCC -> resistor (about 1 kOhm) -> LED -> P1.0. The port pin sinks current far
 * better than it sources it, so a low pin lights the LED.
 *
 * Timing: Timer 0 counts machine cycles (12 crystal periods each). With a 12 MHz crystal a
 * cycle lasts 1 us and one timer overflow from the reload below takes 1 ms; another
 * crystal scales the period (24 MHz blinks twice as fast).
 */
#include <at89s53.h>

#define LED P1_0
#define CYCLES_PER_MS 1000u
#define RELOAD (65536u - CYCLES_PER_MS)

static void delay_ms(unsigned int ms)
{
    TMOD = (TMOD & 0xF0) | 0x01; /* Timer 0 as a 16-bit timer */
    while (ms--) {
        TH0 = RELOAD >> 8;
        TL0 = RELOAD & 0xFF;
        TF0 = 0;
        TR0 = 1;
        while (!TF0) {
        }
        TR0 = 0;
    }
}

void main(void)
{
    for (;;) {
        LED = 0;
        delay_ms(500);
        LED = 1;
        delay_ms(500);
    }
}
