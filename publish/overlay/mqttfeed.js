// The race from an MQTT broker instead of this server's event feed, for a page
// opened as ...?mqtt=wss://broker:8081/mqtt&topic=lapvane/3 (the topic is the
// publisher's prefix and event number). lapvaneMqtt.open(path) gives the page
// its event source: this server's EventSource without "mqtt=", else one fed
// from the broker's retained race and its laps, with the same messages. The
// browser MQTT client is loaded only then.
var lapvaneMqtt = (function () {
  'use strict';
  function param(name) {
    var m = new RegExp('[?&]' + name + '=([^&#]*)').exec(window.location.search);
    return m ? decodeURIComponent(m[1].replace(/\+/g, ' ')) : '';
  }

  function BrokerSource(url, topic) {
    var self = this, race = null, client = null;
    self.readyState = 0; // connecting; the page leaves retrying to us
    self.onmessage = null;
    self.onerror = null;
    function deliver(message) {
      if (self.onmessage) self.onmessage({ data: JSON.stringify(message) });
    }
    function down() {
      self.readyState = 0;
      if (self.onerror) self.onerror({});
    }
    self.close = function () {
      self.readyState = 2;
      if (client) client.end(true);
    };
    if (!/^wss?:\/\//i.test(url) || !topic || /[+#]/.test(topic)) {
      setTimeout(down, 0);
      return;
    }
    var script = document.createElement('script');
    script.src = '/overlay/mqtt.min.js';
    script.onerror = down;
    script.onload = function () {
      if (!window.mqtt || !window.mqtt.connect) { down(); return; }
      client = window.mqtt.connect(url, { reconnectPeriod: 2000, connectTimeout: 10000, clean: true });
      client.on('connect', function () {
        self.readyState = 1;
        client.subscribe([topic + '/race', topic + '/lap'], { qos: 1 });
      });
      client.on('offline', down);
      client.on('close', down);
      client.on('message', function (t, payload) {
        var data;
        try { data = JSON.parse(new TextDecoder().decode(payload)); } catch (x) { return; }
        if (!data || typeof data !== 'object') return;
        if (t === topic + '/race') {
          race = data;
          deliver({ type: 'race', race: race });
        } else if (t === topic + '/lap' && race) {
          // Marks the pilot's row at once; the race that follows the lap
          // brings the new standing.
          deliver({ type: 'lap', pilotid: data.pilotid, lapn: data.lapn, lapTimeMs: data.lapTimeMs, race: race });
        }
      });
    };
    document.head.appendChild(script);
  }

  function open(path) {
    var url = param('mqtt');
    if (!url) return new EventSource(path);
    return new BrokerSource(url, param('topic').replace(/\/+$/, ''));
  }
  return { open: open };
})();
