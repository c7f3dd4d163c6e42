// The imaging library's start-up and shut-down: the message table check,
// the option defaults, the shared tables and objects, and the reader and
// writer registries filled with the built-in formats.
#pragma once

// Runs the start-up once; further calls only count. Raises EPixelGraphic
// when the message table is out of order.
void PGraphicInitialization();
// Undoes one PGraphicInitialization; the last one frees everything the
// start-up made, the registries with their readers and writers included.
void PGraphicFinalization();
// True between the first initialization and the last finalization.
bool PGraphicInitialized();

// The registration routine of each built-in format: it appends one reader
// and one writer per extension of the format to the registries, with
// RegisterFileFormatReader and RegisterFileFormatWriter
// (imaging/core/file_formats.h). Each is defined in its format's source
// file and called by RegisterBuiltInFileFormats in this order.
void RegisterBMPFileFormats();   // readers bmp, dib, rle; writers bmp, dib
void RegisterJPEGFileFormats();  // readers and writers jpg, jpeg, jif
void RegisterPNGFileFormats();   // reader and writer png
void RegisterPCXFileFormats();   // reader pcx
void RegisterPxMFileFormats();   // readers and writers pbm, pgm, ppm
void RegisterTGAFileFormats();   // reader and writer tga
void RegisterTIFFFileFormats();  // readers and writers tif, tiff
// Calls the routines above that are built; run by the start-up.
void RegisterBuiltInFileFormats();
