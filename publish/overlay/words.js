// The words of the live pages (overlay and board), in English and Russian.
// The server names the language chosen in Settings in <html lang>; an
// address may ask for the other one with ?lang=en or ?lang=ru.
var lapvaneWords = (function () {
  'use strict';
  var table = {
    en: {
      raceTitle: 'Race',
      boardTitle: 'Race board',
      pilot: 'Pilot',
      laps: 'Laps',
      last: 'Last',
      best: 'Best',
      gap: 'Gap',
      channel: 'Channel',
      group: 'Group',
      nextGroup: 'Next group',
      finished: 'Finished',
      lapsBehind: function (n) { return '+' + n + (n === 1 ? ' lap' : ' laps'); },
      noPilots: 'No pilots in the race list',
      offline: 'No connection to the program, reconnecting…',
      state: { 'not started': 'Waiting for the start', 'running': 'Race', 'finished': 'Finished' }
    },
    ru: {
      raceTitle: 'Гонка',
      boardTitle: 'Табло гонки',
      pilot: 'Пилот',
      laps: 'Круги',
      last: 'Последний',
      best: 'Лучший',
      gap: 'Отставание',
      channel: 'Канал',
      group: 'Группа',
      nextGroup: 'Следующая группа',
      finished: 'Финиш',
      lapsBehind: function (n) { return '+' + n + ' кр.'; },
      noPilots: 'В списке гонки нет пилотов',
      offline: 'Нет связи с программой, переподключение…',
      state: { 'not started': 'ожидание старта', 'running': 'гонка', 'finished': 'финиш' }
    }
  };
  var asked = /[?&]lang=(en|ru)\b/.exec(location.search);
  var lang = asked ? asked[1] : document.documentElement.lang;
  if (!table[lang]) lang = 'en';
  document.documentElement.lang = lang;
  var words = table[lang];
  // Fills every element that names its word in data-word.
  words.apply = function (root) {
    var marked = (root || document).querySelectorAll('[data-word]');
    for (var i = 0; i < marked.length; i++) {
      var text = words[marked[i].getAttribute('data-word')];
      if (typeof text === 'string') marked[i].textContent = text;
    }
  };
  return words;
})();
