// The C runtime's start-up patches the image for runtime pseudo-relocations, which only
// data imported from a DLL needs. The exe is linked with them forbidden (a link that
// needed one fails), so there is never anything to patch: this empty step stands in for
// the runtime's, and no code of the exe can rewrite its own image (nor import
// VirtualProtect to do it).
extern "C" void _pei386_runtime_relocator() {}
