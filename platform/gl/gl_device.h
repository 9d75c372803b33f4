// The OpenGL 3.3 core device: the Direct3D 9 device interface drawn with
// OpenGL, reproducing Direct3D 9's conventions (0..1 depth, pixel centres on
// integer coordinates for pre-transformed vertices, clockwise culling as seen
// on screen, packed ARGB colours, fixed-function defaults).
//
// The device draws into its own back buffer (a framebuffer object of the
// size given at creation, with a 24-bit depth and 8-bit stencil buffer).
// Present copies it to the context's default framebuffer and then calls the
// present function, which the window layer sets to swap the buffers:
//
//   IDirect3DDevice9* device = nullptr;
//   CreateGLDevice(w, h, &device);            // the GL context is current
//   SetGLPresentFunction(device, [](void* win) { SDL_GL_SwapWindow((SDL_Window*)win); }, window);
//
// Every call expects the creating context to be current on the calling
// thread. Releasing the device deletes its GL objects (the context must
// still exist).
#pragma once
#include <cstdint>
#include <vector>

#include "platform/gpu/device.h"

// Creates the device for a back buffer of width x height pixels, drawn with
// `samples` samples a pixel (multisample anti-aliasing; 0 or 1: none; a
// count the driver refuses draws without). Returns D3DERR_NOTAVAILABLE when
// no OpenGL 3.3 context is current, or D3DERR_INVALIDCALL for a bad size or
// null out.
HRESULT CreateGLDevice(int width, int height, IDirect3DDevice9** out, int samples = 0);
// The samples a pixel the device draws with (0: no multisampling).
int GLDeviceSamples(IDirect3DDevice9* device);

// Called by Present after the back buffer reached the default framebuffer;
// null leaves presenting to the caller.
typedef void (*GLPresentFunction)(void* user);
void SetGLPresentFunction(IDirect3DDevice9* device, GLPresentFunction fn, void* user);

// Reads the back buffer as packed ARGB pixels, rows from the top (as
// Direct3D numbers them). False when device is not an OpenGL device.
bool ReadGLBackBuffer(IDirect3DDevice9* device, std::vector<uint32_t>& argb, uint32_t* width,
                      uint32_t* height);

// OpenGL errors seen so far (checked after every GL call in debug builds,
// and at every Present and read-back in all builds); each one is also logged.
uint32_t GLErrorCount();

// Programs linked so far by the device (generated and translated ones are
// cached per combination: drawing the same combination again links nothing).
uint32_t GLProgramsLinked(IDirect3DDevice9* device);
// Uniform uploads so far (constant arrays and the fixed-function matrices):
// each happens only when the values changed since the program last drew.
uint32_t GLUniformUploads(IDirect3DDevice9* device);
