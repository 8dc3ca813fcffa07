/* Result codes of the TarvoPlayLib functions.
 *
 * A TP_ function returns 0 on success, one of the codes below, an HRESULT passed
 * through from DirectShow (E_NOTIMPL 0x80004001, E_FAIL 0x80004005, E_INVALIDARG
 * 0x80070057, E_OUTOFMEMORY 0x8007000E, ...), or -1 with the reason stored in the
 * process-wide last error (TP_GetLastError). Plain C, usable from C programs. */
#ifndef TARVO_PLAY_ERRORS_H
#define TARVO_PLAY_ERRORS_H

/* The handle's entry holds no player; or the filter graph manager could not be
 * created; or a stream operation found no graph. */
#define TP_ERR_NO_PLAYER 10001
/* Memory exhausted creating a player; or the caller's text buffer is too small
 * for the statistics text. */
#define TP_ERR_OUT_OF_MEMORY 10003
/* Unsupported value: device type, TP_PlayControl or TP_VideoCutControl command
 * code, or Login device type. */
#define TP_ERR_UNSUPPORTED 10004
/* The network source filter could not be added to the graph. */
#define TP_ERR_ADD_NWSOURCE 10100
/* The splitter filter could not be added to the graph. */
#define TP_ERR_ADD_SPLITTER 10102
/* No filter named "Tarvo Jp2k Decoder" in the graph. */
#define TP_ERR_NO_JP2K_DECODER 10108
/* No filter named "Render" in the graph. */
#define TP_ERR_NO_RENDER 10111
/* No frame processor in the graph (colour query). */
#define TP_ERR_NO_PROCESSOR_COLOR 10114
/* No frame processor in the graph (overlay operations). */
#define TP_ERR_NO_PROCESSOR_OVERLAY 10115
/* The file reader filter could not be added to the graph. */
#define TP_ERR_ADD_FILE_READER 10117
/* No frame processor in the graph (video cut, statistics). */
#define TP_ERR_NO_PROCESSOR_CUT 10120
/* The graph has no IMediaControl. */
#define TP_ERR_NO_MEDIA_CONTROL 10200
/* The graph has no IVideoWindow; or no frame processor for picture capture. */
#define TP_ERR_NO_VIDEO_WINDOW 10201
/* The graph has no IBasicVideo. */
#define TP_ERR_NO_BASIC_VIDEO 10202
/* The graph has no IFilterGraph. */
#define TP_ERR_NO_FILTER_GRAPH 10204
/* The graph has no IBasicAudio. */
#define TP_ERR_NO_BASIC_AUDIO 10205
/* The graph has no IMediaEventEx. */
#define TP_ERR_NO_MEDIA_EVENT 10207
/* The graph has no IVideoFrameStep. */
#define TP_ERR_NO_FRAME_STEP 10208
/* The network source has no INWSource interface, or it is missing. */
#define TP_ERR_NO_NWSOURCE_INTERFACE 10209
/* The splitter has no ITarvoSplt interface. */
#define TP_ERR_NO_SPLITTER_INTERFACE 10211
/* The JPEG 2000 decoder lacks its private interface. */
#define TP_ERR_NO_JP2K_INTERFACE 10216
/* The frame processor lacks IProcesserOverlay, or it refused the overlay. */
#define TP_ERR_OVERLAY_REFUSED 10218
/* A splitter output pin has no IStreamBuilder. */
#define TP_ERR_NO_STREAM_BUILDER 10222
/* The frame processor lacks IProcesserCut (video cut, statistics, frame callback). */
#define TP_ERR_NO_PROCESSOR_CUT_INTERFACE 10223
/* The file reader has no IFileSourceFilter. */
#define TP_ERR_NO_FILE_SOURCE 10224
/* The splitter's first output pin has no IMediaPosition. */
#define TP_ERR_NO_MEDIA_POSITION 10225
/* The "Render" filter has no IQualProp. */
#define TP_ERR_NO_QUAL_PROP 10226
/* The network source could not be connected to the splitter. */
#define TP_ERR_CONNECT_NWSOURCE 10300
/* The file reader could not be connected to the splitter. */
#define TP_ERR_CONNECT_FILE_READER 10313
/* The splitter refused the format type. */
#define TP_ERR_STREAM_TYPE_REFUSED 10401
/* Unknown handle; or the player has no graph or lacks an object that the
 * operation needs. */
#define TP_ERR_INVALID_HANDLE 10600
/* The splitter lacks its first or second output pin. */
#define TP_ERR_NO_SPLITTER_PIN 10604
/* A file could not be loaded, or a directory could not be created. */
#define TP_ERR_FILE_ACCESS 10606

/* The symbolic name of a result code ("TP_ERR_NO_PLAYER", "E_NOTIMPL", "0"), or
 * null for a value this header does not name. For logs and diagnostics; not part
 * of the library's exports. */
static inline const char* TpResultName(int code)
{
    switch (code) {
    case 0:
        return "0";
    case -1:
        return "-1";
    case TP_ERR_NO_PLAYER:
        return "TP_ERR_NO_PLAYER";
    case TP_ERR_OUT_OF_MEMORY:
        return "TP_ERR_OUT_OF_MEMORY";
    case TP_ERR_UNSUPPORTED:
        return "TP_ERR_UNSUPPORTED";
    case TP_ERR_ADD_NWSOURCE:
        return "TP_ERR_ADD_NWSOURCE";
    case TP_ERR_ADD_SPLITTER:
        return "TP_ERR_ADD_SPLITTER";
    case TP_ERR_NO_JP2K_DECODER:
        return "TP_ERR_NO_JP2K_DECODER";
    case TP_ERR_NO_RENDER:
        return "TP_ERR_NO_RENDER";
    case TP_ERR_NO_PROCESSOR_COLOR:
        return "TP_ERR_NO_PROCESSOR_COLOR";
    case TP_ERR_NO_PROCESSOR_OVERLAY:
        return "TP_ERR_NO_PROCESSOR_OVERLAY";
    case TP_ERR_ADD_FILE_READER:
        return "TP_ERR_ADD_FILE_READER";
    case TP_ERR_NO_PROCESSOR_CUT:
        return "TP_ERR_NO_PROCESSOR_CUT";
    case TP_ERR_NO_MEDIA_CONTROL:
        return "TP_ERR_NO_MEDIA_CONTROL";
    case TP_ERR_NO_VIDEO_WINDOW:
        return "TP_ERR_NO_VIDEO_WINDOW";
    case TP_ERR_NO_BASIC_VIDEO:
        return "TP_ERR_NO_BASIC_VIDEO";
    case TP_ERR_NO_FILTER_GRAPH:
        return "TP_ERR_NO_FILTER_GRAPH";
    case TP_ERR_NO_BASIC_AUDIO:
        return "TP_ERR_NO_BASIC_AUDIO";
    case TP_ERR_NO_MEDIA_EVENT:
        return "TP_ERR_NO_MEDIA_EVENT";
    case TP_ERR_NO_FRAME_STEP:
        return "TP_ERR_NO_FRAME_STEP";
    case TP_ERR_NO_NWSOURCE_INTERFACE:
        return "TP_ERR_NO_NWSOURCE_INTERFACE";
    case TP_ERR_NO_SPLITTER_INTERFACE:
        return "TP_ERR_NO_SPLITTER_INTERFACE";
    case TP_ERR_NO_JP2K_INTERFACE:
        return "TP_ERR_NO_JP2K_INTERFACE";
    case TP_ERR_OVERLAY_REFUSED:
        return "TP_ERR_OVERLAY_REFUSED";
    case TP_ERR_NO_STREAM_BUILDER:
        return "TP_ERR_NO_STREAM_BUILDER";
    case TP_ERR_NO_PROCESSOR_CUT_INTERFACE:
        return "TP_ERR_NO_PROCESSOR_CUT_INTERFACE";
    case TP_ERR_NO_FILE_SOURCE:
        return "TP_ERR_NO_FILE_SOURCE";
    case TP_ERR_NO_MEDIA_POSITION:
        return "TP_ERR_NO_MEDIA_POSITION";
    case TP_ERR_NO_QUAL_PROP:
        return "TP_ERR_NO_QUAL_PROP";
    case TP_ERR_CONNECT_NWSOURCE:
        return "TP_ERR_CONNECT_NWSOURCE";
    case TP_ERR_CONNECT_FILE_READER:
        return "TP_ERR_CONNECT_FILE_READER";
    case TP_ERR_STREAM_TYPE_REFUSED:
        return "TP_ERR_STREAM_TYPE_REFUSED";
    case TP_ERR_INVALID_HANDLE:
        return "TP_ERR_INVALID_HANDLE";
    case TP_ERR_NO_SPLITTER_PIN:
        return "TP_ERR_NO_SPLITTER_PIN";
    case TP_ERR_FILE_ACCESS:
        return "TP_ERR_FILE_ACCESS";
    case (int)0x80004001u:
        return "E_NOTIMPL";
    case (int)0x80004005u:
        return "E_FAIL";
    case (int)0x80070057u:
        return "E_INVALIDARG";
    case (int)0x8007000Eu:
        return "E_OUTOFMEMORY";
    case (int)0x80004003u:
        return "E_POINTER";
    case (int)0x80040154u:
        return "REGDB_E_CLASSNOTREG";
    default:
        return 0;
    }
}

#endif /* TARVO_PLAY_ERRORS_H */
