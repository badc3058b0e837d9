#pragma once
// Resource identifiers of the card object layer's two resource modules,
// "resources\vkCobAPIrc.dll" (texts) and "resources\vkCobAPIlrc.dll"
// (localized texts).

// Reader states, as the layer shows them.
#define IDS_READER_CARD_PRESENT   100
#define IDS_READER_EMPTY          101
#define IDS_READER_UNAVAILABLE    102

// Card types.
#define IDS_CARD_TYPE_PIV         110
#define IDS_CARD_TYPE_CAC         111
#define IDS_CARD_TYPE_OTHER       112

// The language of the localized module.
#define IDS_LAYER_LANGUAGE        200
