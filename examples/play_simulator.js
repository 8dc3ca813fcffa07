// Plays a simulated encoder's live stream in the player control, puts a
// caption on the picture once the first video sample has come, and a second
// later captures a picture (again every half second while there is none yet).
//
//   tvdevsim --kind dev40 --transport tcp-server --address 127.0.0.1 --port 8001 &
//   tvscript examples/play_simulator.js 127.0.0.1 8001 /tmp/picture.bmp
//
// Exit code 0 when the picture was captured; 1 when no first video sample
// came within 10 seconds or a call failed.
if (args.length < 3) {
    print('usage: tvscript play_simulator.js ADDRESS PORT PICTURE.bmp');
    quit(1);
} else {
    var address = args[0], port = parseInt(args[1], 10), picture = args[2];

    function check(what, result) {
        print(what + ' = ' + result);
        if (result !== 0) {
            print(what + ' failed: last error ' + control.GetLastError(0));
            quit(1);
            return false;
        }
        return true;
    }

    var E_INVALIDARG = -2147024809; // 0x80070057 as the control's LONG result
    var shown = false;
    control.onFirstSampleDelivered = function (wParam, lParam) {
        // (1, 0) is the first video sample; (0, 0) the first audio sample.
        print('FirstSampleDelivered(' + wParam + ', ' + lParam + ')');
        if (wParam !== 1 || shown)
            return;
        shown = true;
        // Out arguments are one-element arrays: the control writes element 0.
        var brightness = [-1], contrast = [-1], saturation = [-1], hue = [-1];
        print('GetColor = ' + control.GetColor(brightness, contrast, saturation, hue, 0) + ': ' +
              brightness[0] + ' ' + contrast[0] + ' ' + saturation[0] + ' ' + hue[0]);
        // White text (red in the low byte) in a bold 32-pixel font, shown from now on.
        var index = control.AddTextOverlay(24, 440, 'Gate 1', 0xFFFFFF, font(32, true), 0, 0, 0);
        print('AddTextOverlay = ' + index);
        if (index < 0) {
            quit(1);
            return;
        }
        // The first sample may come between key pictures: until the decoder
        // has shown one there is no picture to capture (E_INVALIDARG), and a
        // slow machine takes longer to get there. Try again for a while.
        var tries = 0;
        function grab() {
            var result = control.GrabPicture(picture, 0);
            if (result === E_INVALIDARG && ++tries < 20) {
                setTimeout(grab, 500);
                return;
            }
            if (check('GrabPicture(' + picture + ')', result))
                quit(0);
        }
        setTimeout(grab, 1000);
    };

    // Device type 1 (an encoder), format 3 (device H.264), live play mode 0;
    // connect type 4: the control connects to the encoder over TCP.
    if (check('Initialize(1, 3, 0, 0, 0)', control.Initialize(1, 3, 0, 0, 0)) &&
        check('OpenStream(' + address + ', ' + port + ', 4, 0, 0)',
              control.OpenStream(address, port, 4, 0, 0))) {
        setTimeout(function () {
            if (!shown) {
                print('no first video sample within 10 s');
                quit(1);
            }
        }, 10000);
    }
}
