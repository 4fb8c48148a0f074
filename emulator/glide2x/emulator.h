// emulator.h - the two halves of the emulated board library.
#ifndef ZLV_EMULATOR_H
#define ZLV_EMULATOR_H

// Let go of the shared views when the library leaves a process.
void DriverDetach(void);
void GlideDetach(void);

#endif // ZLV_EMULATOR_H
