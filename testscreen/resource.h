// resource.h - ZLVDTest's resource IDs.
#ifndef ZLV_TESTSCREEN_RESOURCE_H
#define ZLV_TESTSCREEN_RESOURCE_H

// Names of the colour depths, 4 to 32 bits per pixel.
#define IDS_DEPTH_4                 2
#define IDS_DEPTH_8                 3
#define IDS_DEPTH_15                4
#define IDS_DEPTH_16                5
#define IDS_DEPTH_24                6
#define IDS_DEPTH_32                7

// Caption line formats.
#define IDS_CAPTION_MODE            8
#define IDS_CAPTION_INTERLACED      9
#define IDS_CAPTION_NONINTERLACED   10

#endif // ZLV_TESTSCREEN_RESOURCE_H
